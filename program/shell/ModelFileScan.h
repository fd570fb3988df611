// The scan of a model file before its import.
#pragma once

#include <string>

// What a model file holds by its root and the root's children, read by the store's own reader:
// valid when the import would read the file (no document type declaration anywhere before the
// root, the root "VarnoStore", a version that is a number the store reads, well-formed items).
struct SModelFileScan {
    bool valid = false;
    int version = 0;
    bool resources = false, groups = false, tasks = false;
};
SModelFileScan ScanModelFile(const std::wstring& path);
