// What tests and tools may change in the store provider besides its interfaces.
#pragma once

#include "VCore.h"

namespace Varno {
namespace Common {
// The SMBIOS table (as the firmware table 'RSMB' gives it: the 8-byte header, then the
// structures) that the board lists and validity checks read from now on instead of the
// firmware's; null restores the firmware's.
VCORE_API void SetSmbiosTable(const unsigned char* table, size_t size);
} // namespace Common
} // namespace Varno
