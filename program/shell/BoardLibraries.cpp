// The board's and the host suite's libraries, loaded by name.
#include "KvProcAddress.h"
#include "BoardLibraries.h"

#include <valkit.h>

void CBoardApiLibrary::Load(const wchar_t* name) {
    Free();
    m_hModule = ::LoadLibraryW(name);
}

void CBoardApiLibrary::Free() {
    if (m_hModule)
        ::FreeLibrary(m_hModule);
    m_hModule = nullptr;
    m_pfnGetInterface = nullptr;
    m_pInterface = nullptr;
}

bool CBoardApiLibrary::GetInterface() {
    if (!m_hModule)
        return false;
    m_pfnGetInterface = KvGetProcAddress<PFN_VrnGetInterface>(m_hModule, "VrnGetInterface");
    if (!m_pfnGetInterface)
        return false;
    m_pInterface = m_pfnGetInterface(0, 0);
    return m_pInterface != nullptr;
}

bool CBoardApiLibrary::IsBoardPresent() {
    if (!m_pInterface)
        return false;
    BYTE present = 0;
    HRESULT hr = m_pInterface->IsBoardPresent(&present);
    return !FAILED(hr) && present != 0;
}

int __stdcall HwInterfaceCallback(void* object, void*) {
    if (object)
        static_cast<IKvHwNotify*>(object)->Notify();
    return 0;
}

int QueryJointMode(const wchar_t* library) {
    int result = 0;
    HMODULE h = nullptr;
    try {
        h = ::LoadLibraryW(library);
        if (!h)
            return 0;
        auto get = KvGetProcAddress<PFN_KvHwGetInterface>(h, "KvHwGetInterface");
        auto release = KvGetProcAddress<PFN_KvHwReleaseInterface>(h, "KvHwReleaseInterface");
        if (get && release) {
            if (IKvHwApi* api = get(HwInterfaceCallback)) {
                if (IKvHwJointMode* joint = api->GetJointMode()) {
                    DWORD flag = 0;
                    int r = joint->IsJointMode(&flag);
                    result = (r != 0 || flag != 0) ? 1 : 0;
                    joint->Release();
                }
                release(api);
            }
        }
    } catch (...) {
        // Whatever the host suite throws, joint mode counts as it stood.
    }
    if (h)
        ::FreeLibrary(h);
    return result;
}

bool QueryBoardBiosVersion(std::wstring& version, const wchar_t* library) {
    HMODULE h = ::LoadLibraryW(library);
    if (!h)
        return false;
    bool ok = false;
    if (auto fn = KvGetProcAddress<PFN_vrGetVersion>(h, "vrGetVersion")) {
        BYTE block[4] = {0, 0, 0, 0};
        if (fn(block) == 0) {
            unsigned build = (unsigned)block[2] | ((unsigned)block[3] << 8);
            version = format_wstring(L"%d.%d.%d", (int)block[0], (int)block[1], (int)build);
            ok = true;
        }
    }
    ::FreeLibrary(h);
    return ok;
}
