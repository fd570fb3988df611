// Installed-software inventory from Windows Installer, bound by ordinal.
#include "SoftWare.h"

#include "KvMsi.h"

#include <memory>
#include <vector>

#include "Crc32.h"
#include "VoRurod.h"

namespace {

[[noreturn]] void Raise(int code, int line) {
    throw KvBase::CVoRurod(code, L"SoftWare", line, L"CSoftWare::GetAllSoftWare");
}

bool Aborted(IKvReportAbort* abort) { return abort && abort->IsAborted(); }

std::wstring ProductProperty(KvMsi::IInstallerSource& msi, const wchar_t* product, const wchar_t* property) {
    std::wstring value;
    KvMsi::ReadProductProperty(msi, product, property, value);
    return value;
}

DWORD EstimatedSize(const std::wstring& product) {
    std::wstring key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product;
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return 0;
    DWORD value = 0, type = 0, size = sizeof value;
    if (RegQueryValueExW(h, L"EstimatedSize", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        value = 0;
    RegCloseKey(h);
    return value;
}

// The component's path for the product when it is installed locally (or broken); empty
// otherwise.
std::wstring ComponentPath(KvMsi::IInstallerSource& msi, const wchar_t* product, const wchar_t* component) {
    std::wstring path;
    INSTALLSTATE state = KvMsi::ReadComponentPath(msi, product, component, path);
    if (state != INSTALLSTATE_LOCAL && state != INSTALLSTATE_BROKEN)
        path.clear();
    return path;
}

} // namespace

bool CSoftWare::AddFileToCrc(const wchar_t* path, CCrc32& crc, DWORD& length) {
    length = 0;
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const DWORD kBlock = 0xFFFF;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kBlock]);
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h, buffer.get(), kBlock, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        crc.Update(buffer.get(), got);
    }
    LARGE_INTEGER size;
    if (GetFileSizeEx(h, &size))
        length = size.LowPart;
    CloseHandle(h);
    return ok;
}

int CSoftWare::GetAllSoftWare(IKvReportAbort* abort, std::list<SSoftWareItem>& items) {
    items.clear();
    try {
        KvMsi::IInstallerSource* source = KvMsi::GetInstallerSource();
        if (!source)
            Raise(HRESULT_FROM_WIN32(GetLastError()), __LINE__);
        KvMsi::IInstallerSource& msi = *source;
        msi.SetInternalUI(INSTALLUILEVEL_NONE, nullptr);

        std::vector<std::wstring> components;
        wchar_t code[39];
        for (DWORD i = 0; msi.EnumComponents(i, code) == ERROR_SUCCESS; ++i) {
            if ((i & 0x400) && Aborted(abort))
                Raise(1, __LINE__);
            components.emplace_back(code);
        }

        CCrc32 crc;
        for (DWORD p = 0; msi.EnumProducts(p, code) == ERROR_SUCCESS; ++p) {
            SSoftWareItem item;
            item.strProductCode = code;
            crc.Reset();
            item.strProductName = ProductProperty(msi, code, L"InstalledProductName");
            item.strPublisher = ProductProperty(msi, code, L"Publisher");
            item.dwSize = EstimatedSize(item.strProductCode);
            const bool bSizeKnown = item.dwSize != 0;
            bool bAnyFile = false;
            bool bUnreadable = false;
            for (size_t j = 0; j < components.size(); ++j) {
                if ((j & 0x100) && Aborted(abort))
                    Raise(1, __LINE__);
                std::wstring path = ComponentPath(msi, code, components[j].c_str());
                // Skip nothing installed and registry key paths ("0x:" and "2x:" forms).
                if (path.empty() || path[0] == L'0' || path[0] == L'2')
                    continue;
                WIN32_FILE_ATTRIBUTE_DATA data;
                if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
                    // A file that has gone spoils this product's checksum only.
                    bUnreadable = true;
                    continue;
                }
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    continue;
                DWORD length = 0;
                if (AddFileToCrc(path.c_str(), crc, length))
                    bAnyFile = true;
                else
                    bUnreadable = true; // its length still counts: the directory entry has it
                if (!bSizeKnown)
                    item.dwSize += data.nFileSizeLow;
            }
            item.dwCrc = (bAnyFile && !bUnreadable) ? crc.Result() : 0;
            item.bUnreadable = bUnreadable;
            items.push_back(item);
            if (Aborted(abort))
                Raise(1, __LINE__);
        }
        return 0;
    } catch (const KvBase::CVoRurod& e) {
        items.clear();
        return e.GetCode();
    } catch (...) {
        items.clear();
        return E_FAIL;
    }
}
