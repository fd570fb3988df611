// The base library KvBase: error object, Win32 wrappers, registry key and tracer.
#pragma once

#include "VoRurod.h"
#include "Win32Objects.h"
#include "RegistryKey.h"
#include "KvTrace.h"
