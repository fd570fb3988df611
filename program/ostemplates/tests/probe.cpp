// Runs the start-up templates over this computer and writes what they made, one line each, as
// UTF-8 into the file named by the first argument:
//   V <major>.<minor>      the Windows version this process sees
//   G <group name>         a group, in order under the task
//   R <path>               a resource of the group above
// Every drive counts as a local hard disk (the test prefix has no physical disk behind its drives).
// A second argument names a "\\?\" device whose files count as present (without a trailing
// backslash, which the command line would take for an escaped quote): the prefix cannot open files
// through a DOS device name without a drive letter, which a system partition of its own has.
#include <windows.h>

#include <cstdio>
#include <string>

#include "IChNode.h"
#include "KvOsTemplates.h"

static std::string Utf8(const std::wstring& text) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], n, nullptr, nullptr);
    return out;
}

namespace {

class CProbeTemplates : public CStartupTemplates {
public:
    explicit CProbeTemplates(const std::wstring& present)
        : CStartupTemplates([](wchar_t) { return 1; }), m_present(present) {}

protected:
    bool ModuleFileExists(const std::wstring& path) const override {
        if (!m_present.empty() && path.size() > m_present.size() && path[m_present.size()] == L'\\' &&
            path.compare(0, m_present.size(), m_present) == 0)
            return true;
        return CStartupTemplates::ModuleFileExists(path);
    }

private:
    std::wstring m_present;
};

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2)
        return 2;
    FILE* out = _wfopen(argv[1], L"wb");
    if (!out)
        return 3;
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
#pragma GCC diagnostic pop
    fprintf(out, "V %lu.%lu\n", version.dwMajorVersion, version.dwMinorVersion);
    CIChTask* task = new CIChTask;
    task->SetName(L"Операционная система MS Windows");
    CProbeTemplates run(argc > 2 ? argv[2] : L"");
    int result = run.Create(task);
    for (CIChNode* group : task->m_Members) {
        fprintf(out, "G %s\n", Utf8(group->m_Name).c_str());
        for (CIChNode* resource : group->m_Members)
            fprintf(out, "R %s\n", Utf8(resource->m_Name).c_str());
    }
    fprintf(out, "W %zu\n", run.Collector().WalkCount());
    fclose(out);
    DeleteNodeTree(task);
    return result == 1 ? 0 : 1;
}
