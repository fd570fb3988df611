// Function scopes and failure lines of the report builder, on the base library's tracer
// (module name "KvReportBuilder", settings under the local machine's trace key).
#pragma once

#include "KvTrace.h"

using CBuilderTraceScope = KvBase::CTraceScope;
#define KV_BUILDER_DEFINE_TRACE() KVBASE_DEFINE_TRACE(L"KvReportBuilder")

// Each export and query opens a function scope named after it.
#define KV_BUILDER_SCOPE(name) CBuilderTraceScope scope(name, L"KvReportBuilder", __LINE__)
