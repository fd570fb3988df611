// The software passport data source.
#include "VrnPassportSource.h"

#include <cwchar>
#include <list>

#include "ReportReaders.h"
#include "SoftWare.h"
#include "VoRurod.h"

namespace {

const wchar_t kDataSource[] = L"VrnPassportRpt64";
const wchar_t kReportKind[] = L"PassportSW";

std::wstring ReadString(HKEY key, const wchar_t* name) {
    wchar_t buffer[261] = {};
    DWORD type = 0, size = sizeof buffer - sizeof(wchar_t);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::wstring(L"\x1");
    return buffer;
}

bool Missing(const std::wstring& value) { return value == L"\x1"; }

CSaxValue NumberOrNaN(const wchar_t* format, DWORD value) {
    if (value == 0)
        return CSaxValue(L"#NaN#");
    wchar_t text[16];
    swprintf(text, 16, format, (unsigned int)value);
    return CSaxValue(text);
}

} // namespace

void CVrnPassportSource::Release() { delete this; }

std::wstring CVrnPassportSource::GetOsDescription() {
    std::wstring description;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return description;
    std::wstring product = ReadString(key, L"ProductName");
    if (!Missing(product)) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        description =
            product + L", " + (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL ? L"32-bit" : L"64-bit");
    }
    std::wstring servicePack = ReadString(key, L"CSDVersion");
    if (!Missing(servicePack))
        description += L", " + servicePack;
    RegCloseKey(key);
    return description;
}

std::wstring CVrnPassportSource::GetComputerNetBiosName() {
    wchar_t name[16] = {};
    DWORD size = 16;
    if (!GetComputerNameW(name, &size))
        return std::wstring();
    return name;
}

int CVrnPassportSource::WriteSoftware(IReportWriter& writer, IKvReportAbort* abort) {
    std::list<SSoftWareItem> items;
    int r = CSoftWare::GetAllSoftWare(abort, items);
    if (r < 0)
        return r;
    writer.StartElement(L"Software", ReportAttributes());
    for (const SSoftWareItem& item : items) {
        if (abort && abort->IsAborted()) {
            r = 1;
            break;
        }
        writer.StartElement(L"SoftwareItem", ReportAttributes());
        writer.Element(L"ProductName", item.strProductName, ReportAttributes());
        writer.Element(L"Company", item.strPublisher, ReportAttributes());
        writer.Element(L"Size", NumberOrNaN(L"%u", item.dwSize), ReportAttributes());
        // "#NaN#" either way; the attribute tells an unreadable file from a product without files.
        writer.Element(L"CRC", NumberOrNaN(L"%08X", item.dwCrc),
                       item.bUnreadable ? ReportAttributes(L"unreadable", L"true") : ReportAttributes());
        writer.EndElement(L"SoftwareItem");
    }
    writer.EndElement(L"Software");
    return r;
}

int CVrnPassportSource::Build(const wchar_t* requestPath, const wchar_t* responsePath, IKvReportAbort* abort) {
    try {
        RequestFormat format;
        TSAX2DocumentReader<RequestFormat> reader(format, requestPath);
        CReportWriter writer(responsePath);
        WriteResponseHead(writer, format, kDataSource, kReportKind);
        writer.StartElement(L"Caption");
        writer.Element(L"Workstation", GetComputerNetBiosName(), ReportAttributes(L"serialNumber", L"1"));
        writer.Element(L"OSType", GetOsDescription());
        writer.EndElement(L"Caption");
        int r = WriteSoftware(writer, abort);
        WriteResponseTail(writer, kReportKind, r);
        return r;
    } catch (const KvBase::CVoRurod& e) {
        return e.GetCode();
    } catch (...) {
        return E_FAIL;
    }
}
