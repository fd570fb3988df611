// A stand-in data-source plug-in for the report window's tests, built under the names of the
// program's plug-ins into folders of its own. What it does is read from the environment when a
// run starts (KV_DOUBLE_REPORT): "ok" writes a response for the request, "error" completes with
// 0x80070005, "slow" runs until it is aborted, "deaf" holds a half-written response open and
// ignores the abort for 15 s, "otherpath" names another report file in its response, "nosource"
// makes the factory give nothing, "startfail" gives a source whose start fails. Each run appends
// "<module> <request> <response>" to the file KV_DOUBLE_REPORT_LOG names.
#include <windows.h>

#include <string>

#include "KvReportDataSource.h"
#include "ReportHelpers.h"
#include "ReportReaders.h"
#include "ReportWriters.h"

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t buffer[1024] = {};
    DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
    return n && n < 1024 ? buffer : L"";
}

std::wstring ModuleName() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ModuleName), &self);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring name = path;
    name = name.substr(name.find_last_of(L'\\') + 1);
    return name.substr(0, name.find(L'.'));
}

void Log(const std::wstring& line) {
    std::wstring path = Env(L"KV_DOUBLE_REPORT_LOG");
    if (path.empty())
        return;
    HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    std::string utf8(WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, &utf8[0], (int)utf8.size(), nullptr, nullptr);
    utf8.back() = '\n';
    DWORD written = 0;
    WriteFile(h, utf8.data(), (DWORD)utf8.size(), &written, nullptr);
    CloseHandle(h);
}

class CDoubleSource : public IKvReportDataSource {
public:
    void Release() override { delete this; }
    int Build(const wchar_t* request, const wchar_t* response, IKvReportAbort* abort) override {
        std::wstring mode = Env(L"KV_DOUBLE_REPORT");
        Log(ModuleName() + L" " + request + L" " + response);
        if (mode == L"error")
            return (int)0x80070005;
        if (mode == L"slow") {
            for (int i = 0; i < 3000; ++i) {
                if (abort && abort->IsAborted())
                    return 1;
                Sleep(20);
            }
            return 1;
        }
        if (mode == L"deaf") {
            // Holds the response open, half written, and does not look at the abort.
            CReportWriter half(response);
            half.StartElement(L"Report");
            Sleep(15000);
        }
        XMLDocumentInfo info;
        TSAX2DocumentReader<XMLDocumentInfo> names(info, request);
        RequestFormat format;
        TSAX2DocumentReader<RequestFormat> reader(format, request);
        if (mode == L"otherpath") {
            std::wstring& output = format[L"FormatOutput"];
            size_t at = output.find(L"path=\"");
            if (at != std::wstring::npos) {
                size_t end = output.find(L'"', at + 6);
                output.replace(at + 6, end - at - 6, Env(L"KV_DOUBLE_REPORT_OTHER"));
            }
        }
        std::wstring kind = info[L"Subsystem@reportTitle"];
        CReportWriter writer(response);
        WriteResponseHead(writer, format, ModuleName().c_str(), kind.c_str());
        WriteResponseTail(writer, kind.c_str(), 0);
        return 0;
    }

protected:
    virtual ~CDoubleSource() = default;
};

// A source whose start fails.
class CStartFails : public IKvReportDataSourceAsync {
public:
    void Release() override { delete this; }
    int Start(const wchar_t*, const wchar_t*, IKvReportComplete*) override { return (int)0x8007000E; }
    int Abort() override { return 0; }
    virtual ~CStartFails() = default;
};

} // namespace

extern "C" __declspec(dllexport) IKvReportDataSource* KvGetReportDataSource() { return new CDoubleSource; }

#ifndef KV_DOUBLE_NO_ASYNC_FACTORY
extern "C" __declspec(dllexport) IKvReportDataSourceAsync* KvGetReportDataSourceAsync() {
    std::wstring mode = Env(L"KV_DOUBLE_REPORT");
    if (mode == L"nosource")
        return nullptr;
    if (mode == L"startfail")
        return new CStartFails;
    return new TReportDataSourceAsync<CDoubleSource>;
}
#endif
