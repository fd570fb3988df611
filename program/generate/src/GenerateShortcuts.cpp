// Tasks from the shortcuts of the common Start menu, and the list of installed components.
#include "GenerateCommon.h"

#include "KvExchangeUtils.h"
#include "KvMsi.h"
#include "linkwalk.h"
#include "msitasks_ids.h"
#include "VoRurod.h"

#include <kvui/kvui.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

using namespace KvGenerate;

namespace {

// Releases a COM pointer at the end of its scope.
template <class T>
struct CComRelease {
    T* p = nullptr;
    ~CComRelease() {
        if (p)
            p->Release();
    }
};

std::wstring EnvValue(const wchar_t* name) {
    wchar_t buffer[MAX_PATH * 2] = {};
    DWORD n = ::GetEnvironmentVariableW(name, buffer, MAX_PATH * 2);
    return n && n < MAX_PATH * 2 ? std::wstring(buffer) : std::wstring();
}

// The target of an advertised Windows Installer shortcut: the descriptor is taken apart and
// Windows Installer is asked for the component's path, which neither installs nor repairs
// anything. 0 with the path, else an error code.
DWORD AdvertisedTarget(IShellLinkDataList* data, std::wstring& target) {
    void* block = nullptr;
    if (FAILED(data->CopyDataBlock(EXP_DARWIN_ID_SIG, &block)) || !block) {
        DWORD error = ::GetLastError();
        return error ? error : ERROR_NOT_FOUND;
    }
    const EXP_DARWIN_LINK* link = static_cast<const EXP_DARWIN_LINK*>(block);
    std::wstring descriptor(link->szwDarwinID, wcsnlen(link->szwDarwinID, MAX_PATH));
    ::LocalFree(block);
    KvMsi::IInstallerSource* msi = KvMsi::GetInstallerSource();
    if (!msi)
        return ERROR_CALL_NOT_IMPLEMENTED;
    wchar_t product[40] = {}, feature[MAX_FEATURE_CHARS + 1] = {}, component[40] = {};
    DWORD offset = 0;
    UINT r = msi->DecomposeDescriptor(descriptor.c_str(), product, feature, component, &offset);
    if (r != ERROR_SUCCESS)
        return r;
    if (!component[0])
        return ERROR_UNKNOWN_COMPONENT;
    std::wstring path;
    INSTALLSTATE state = KvMsi::ReadComponentPath(*msi, product, component, path);
    if (state != INSTALLSTATE_LOCAL || path.empty())
        return ERROR_FILE_NOT_FOUND;
    target = path;
    return 0;
}

// The path rewritten from one folder to another when it lies inside the first (compared by the
// folders' values, at a path boundary, without regard to case). False when it does not.
bool MoveIntoFolder(std::wstring& path, const std::wstring& from, const std::wstring& to) {
    if (from.empty() || to.empty() || path.size() <= from.size())
        return false;
    if (_wcsnicmp(path.c_str(), from.c_str(), from.size()) != 0 || path[from.size()] != L'\\')
        return false;
    path = to + path.substr(from.size());
    return true;
}

} // namespace

HRESULT GetShortcutsOfFolder(const SGenerateHost& host, const std::wstring& folder, CShortcutList& shortcuts) {
    CComRelease<IShellLinkW> link;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(&link.p));
    if (FAILED(hr))
        return hr;
    CComRelease<IPersistFile> file;
    hr = link.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p));
    if (FAILED(hr))
        return hr;

    KvMsi::IInstallerSource* msi = KvMsi::GetInstallerSource();
    std::unique_ptr<KvMsi::CInternalUiLevel> quiet;
    if (msi)
        quiet.reset(new KvMsi::CInternalUiLevel(*msi, INSTALLUILEVEL_NONE));

    auto exists = host.IsFileExist ? host.IsFileExist : std::function<int(const wchar_t*)>(IsExistingFile);
    const CPathVarMap* vars = host.pModel ? &host.pModel->m_PathVars : nullptr;
    // The 64-bit folders and the folders of 32-bit programs, by value.
    const std::wstring programFiles =
        EnvValue(L"ProgramW6432").empty() ? EnvValue(L"ProgramFiles") : EnvValue(L"ProgramW6432");
    const std::wstring programFilesX86 = EnvValue(L"ProgramFiles(x86)");
    const std::wstring commonFiles =
        EnvValue(L"CommonProgramW6432").empty() ? EnvValue(L"CommonProgramFiles") : EnvValue(L"CommonProgramW6432");
    const std::wstring commonFilesX86 = EnvValue(L"CommonProgramFiles(x86)");

    CIChNodeList files;
    GetDirResources(folder.c_str(), &files, 0, 1, L"*.lnk");
    for (CIChNode* node : files) {
        const std::wstring linkPath = node->m_Name;
        if (SUCCEEDED(file.p->Load(linkPath.c_str(), STGM_READ))) {
            // "<holding folder> - <file name without its extension>"
            std::wstring fileName = static_cast<CIChResorce*>(node)->m_Description;
            size_t dot = fileName.rfind(L'.');
            if (dot != std::wstring::npos)
                fileName.resize(dot);
            std::wstring holder = linkPath.substr(0, linkPath.find_last_of(L'\\'));
            holder = holder.substr(holder.find_last_of(L'\\') + 1);
            std::wstring name = holder + L" - " + fileName;

            std::wstring target;
            DWORD result = 0;
            CComRelease<IShellLinkDataList> data;
            DWORD flags = 0;
            if (SUCCEEDED(link.p->QueryInterface(IID_IShellLinkDataList, reinterpret_cast<void**>(&data.p))) &&
                SUCCEEDED(data.p->GetFlags(&flags)) && (flags & SLDF_HAS_DARWINID)) {
                result = AdvertisedTarget(data.p, target);
            } else {
                wchar_t buffer[MAX_PATH] = {};
                HRESULT got = link.p->GetPath(buffer, MAX_PATH, nullptr, 0);
                result = got == S_OK ? 0 : 1;
                target = buffer;
            }
            while (!target.empty() && target.front() == L'"')
                target.erase(target.begin());
            while (!target.empty() && target.back() == L'"')
                target.pop_back();
            if (result == 0 && !target.empty()) {
                const int attempts = host.bIs64BitWindows ? 2 : 1;
                for (int attempt = 0; attempt < attempts; ++attempt) {
                    std::wstring expanded = target;
                    if (vars)
                        ExpandPathVariable(expanded, *vars);
                    if (exists(expanded.c_str())) {
                        shortcuts.emplace_back(name, expanded);
                        break;
                    }
                    // A 32-bit program's link may name the 64-bit program folder.
                    target = expanded;
                    if (!MoveIntoFolder(target, programFiles, programFilesX86))
                        MoveIntoFolder(target, commonFiles, commonFilesX86);
                }
            }
        }
        delete node;
    }
    return S_OK;
}

HRESULT GetStartMenuShortcuts(const SGenerateHost& host, CShortcutList& shortcuts) {
    wchar_t folder[MAX_PATH] = {};
    HRESULT hr = ::SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, folder);
    if (FAILED(hr))
        return hr;
    return GetShortcutsOfFolder(host, folder, shortcuts);
}

void GetModuleDependResources(const std::pair<std::wstring, std::wstring>& shortcut, CIChNodeList& resources) {
    CIChResorce* target = NewFileResource(shortcut.second);
    resources.push_back(target);
    Depends::CDepps finder;
    finder.AddModule(target->m_Name, target->m_Name, 1);
    for (const auto& module : finder.m_found)
        resources.push_back(NewFileResource(module.second));
}

int GenerateTasksFromShortcuts(const SGenerateHost& host, CShortcutList* shortcuts, int markExecutable,
                               int pathsToVariables, CIChNodeList* output) {
    if (!shortcuts || shortcuts->empty() || !output || !host.pModel)
        return 0;
    CIChDataModel& model = *host.pModel;
    CProgressRun run(host.hMainWnd, (int)shortcuts->size());
    dlgAddInstallTask* dlg = run.Dialog();
    model.RebuildPathIndex();

    std::list<std::wstring> extensions;
    if (markExecutable)
        extensions = SplitExtensions(host.strExeExtensions);

    for (const auto& shortcut : *shortcuts) {
        if (run.Aborted())
            break;
        CIChNode* task = NewTask(shortcut.first);
        CIChNodeList resources;
        try {
            const std::wstring filesName = shortcut.first + L" Файлы";
            CIChRGroup* files = NewGroup(task, filesName, L"Файлы приложения", GroupFiles);
            GetModuleDependResources(shortcut, resources);
            if (dlg) {
                dlg->SetTaskText(shortcut.first.c_str());
                dlg->SetResourceRange((int)resources.size());
            }
            run.Pump();
            int number = 0;
            while (!resources.empty()) {
                CIChNode* resource = resources.front();
                resources.pop_front();
                resource->LinkTo(files);
                run.ShowResource(resource->m_Name, number++);
            }
            if (markExecutable)
                for (CIChNode* member : files->m_Members) {
                    CIChResorce* resource = static_cast<CIChResorce*>(member);
                    if (resource->m_SubType == ResFile && HasListedExtension(resource->m_Name, extensions))
                        resource->m_Executable = 1;
                }
            HandOverTask(host, task, files, filesName, pathsToVariables, output);
        } catch (...) {
            for (CIChNode* resource : resources)
                delete resource;
            DeleteTree(task);
            throw;
        }
        run.NextTask();
    }

    run.Finish(host, L"LNK");
    return 1;
}

int GetInstalledComponentsList(const SGenerateHost& host, HWND owner, std::list<CInstalledProductInfo>& products,
                               CShortcutList& shortcuts) {
    std::wstring message;
    int result = 0;
    try {
        GetInstalledProducts(products);
        if (FAILED(GetStartMenuShortcuts(host, shortcuts)))
            shortcuts.clear();
    } catch (KvBase::CVoRurod& e) {
        message = e.GetMessageString();
        result = 1;
    }
    if (result)
        KvUi::ShowMessage(owner, KvUi::LoadStr(IDS_GEN_LIST_FAILED) + message, nullptr, MB_ICONEXCLAMATION);
    return result;
}
