// The module-wide critical section. It is constructed before the module's ordinary global objects
// (a tracer among them, whose constructor may already trace) and destroyed after them. The linker
// is told to keep this object file in every module that links the library (see CMakeLists.txt),
// so that each such module has its section whether or not its code names it.
#include "Win32Objects.h"

extern "C" {
// Referenced by the linker option of the library's users; keeps this object file in the module.
extern const int kvbase_module_anchor;
const int kvbase_module_anchor = 1;
}

namespace KvBase {

namespace {
CWin32CriticalSection g_csModule __attribute__((init_priority(105)));
}

CWin32CriticalSection& GetModuleCriticalSection() { return g_csModule; }

} // namespace KvBase
