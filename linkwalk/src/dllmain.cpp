// Entry point of the library: the process-wide search lists go when the process unloads it.
#include "internal.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH)
        Depends::Common::Detach();
    return TRUE;
}
