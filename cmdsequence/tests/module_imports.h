// Reads the import table of a loaded module: which DLL each imported name comes from.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace KvTest {

// Imported function name -> lower-cased name of the DLL that supplies it (imports by name only).
std::map<std::string, std::string> ImportedNames(HMODULE module);

} // namespace KvTest
