// The scan of a model file that the import dialog shows before the import: what the file holds, by
// the store's own reader.
#include "ModelFileScan.h"

#include <VCore.h>

SModelFileScan ScanModelFile(const std::wstring& path) {
    // The store's own reader and rules: the check passes exactly the files that the import reads.
    SModelFileScan result;
    Varno::Common::StoreFileOutline outline;
    std::wstring reason;
    if (path.empty() || !Varno::Common::InspectStoreFile(path.c_str(), outline, reason))
        return result;
    result.valid = true;
    result.version = outline.version;
    result.resources = outline.resources;
    result.groups = outline.groups;
    result.tasks = outline.tasks;
    return result;
}
