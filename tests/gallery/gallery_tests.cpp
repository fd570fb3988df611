// The gallery: every dialog of the program drawn through its own class, its start-up code run over
// a small model and store of the test, in each state that changes what it shows, and saved as a
// PNG picture in the gallery folder (build/gallery/VICheck64-<template>-<state>.png), so a
// reviewer sees every window as its user does without running the program. The pickers and bulk
// creation have pictures of their own (pickers_gallery). A template of the program that no
// picture shows fails the last test.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "kvgallery.h"
#include "kvpresenter.h"

#include "AboutDlg.h"
#include "DaVIdevaRez.h"
#include "ExchangeDialogs.h"
#include "GenerateDialogs.h"
#include "IChDataModel.h"
#include "IChNode.h"
#include "ListDialogs.h"
#include "ResourceDialogs.h"
#include "ToolDialogs.h"
#include "dlgLongOp.h"
#include "dlgException.h"
#include "dlgGroupTask.h"
#include "dlgJobSubject.h"
#include "dlgNodes.h"
#include "dlgPrepareControl.h"
#include "dlgProperty.h"
#include "dlgResource.h"
#include "resource.h"
#include "toolcmds_ids.h"

#include <VCore.h>
#include <kvui/progress.h>
#include <kvui/sheet.h>

#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

CDaVIdevaRezApp theApp;

namespace {

using KvGallery::SaveWindow;

const int g_init = (::InitCommonControls(), 0);

using KvGallery::PumpFor;

// The templates drawn so far.
std::set<UINT>& Drawn() {
    static std::set<UINT> drawn;
    return drawn;
}

// The window as it is on the screen, brought to the top and painted, saved as
// VICheck64-<template>[-<state>].png.
void Shoot(HWND top, UINT templateId, const std::wstring& state) {
    std::wstring folder = KvGallery::Folder();
    ASSERT_FALSE(folder.empty()) << "KV_GALLERY_DIR is not set";
    std::wstring png =
        folder + L"\\VICheck64-" + std::to_wstring(templateId) + (state.empty() ? L"" : L"-" + state) + L".png";
    EXPECT_EQ(S_OK, KvGallery::ShootTop(top, png)) << png.c_str();
    Drawn().insert(templateId);
}

// A modal dialog through its class: `open` runs it; once its start-up has run, `prepare` (when
// given) brings it into the state to show, the picture is taken, and the dialog is cancelled.
void ShootModal(UINT templateId, const std::wstring& state, const std::function<void()>& open,
                const std::function<void(KvUi::CDialog&)>& prepare = nullptr) {
    SCOPED_TRACE(std::to_string(templateId) + " " + std::string(state.begin(), state.end()));
    KvTest::CScopedPresenter presenter;
    bool shown = false;
    presenter.OnDialog(templateId, [&](KvUi::CDialog& d) {
        shown = true;
        if (prepare)
            prepare(d);
        PumpFor(100);
        // A page is shown in its sheet.
        HWND top = (::GetWindowLongW(d.m_hWnd, GWL_STYLE) & WS_CHILD) ? ::GetAncestor(d.m_hWnd, GA_ROOT) : d.m_hWnd;
        Shoot(top, templateId, state);
        if (auto* page = dynamic_cast<KvUi::CPropertyPage*>(&d)) {
            if (page->GetSheet())
                page->GetSheet()->PressButton(PSBTN_CANCEL);
        } else if (!d.IsEnded()) {
            d.EndDialog(IDCANCEL);
        }
    });
    open();
    EXPECT_TRUE(shown) << "the dialog did not open";
}

// ---- the fixture model --------------------------------------------------------------------------

struct Fixture {
    CIChDataModel model;
    CIChResorce* exe = nullptr;
    CIChResorce* key = nullptr;
    CIChRGroup* group = nullptr;
    CIChTask* task = nullptr;
    CIChJob* job = nullptr;
    CIChJob* boardJob = nullptr;
    CIChSubject* subject = nullptr;

    template <class T>
    T* Add(int type, const std::wstring& name) {
        T* n = static_cast<T*>(model.CreateNode(type));
        n->m_Id = model.TakeNextId(type);
        n->m_Name = name;
        return n;
    }
    CIChResorce* Resource(int subType, const std::wstring& path) {
        auto* r = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
        r->SetSubType(subType);
        r->SetName(path);
        r->m_Id = model.TakeNextId(NodeTypeResource);
        return r;
    }
    Fixture() {
        subject = model.EnsureDefaultSubject();
        job = model.EnsureDefaultJob(subject, JobSecondEdition);
        job->m_Description = L"Задание контроля целостности рабочей станции";
        boardJob = Add<CIChJob>(NodeTypeJob, L"Задание ПАК \"Varno\"");
        boardJob->m_SubType = JobBoard;
        boardJob->m_Description = L"Контроль загрузочных файлов";
        boardJob->LinkTo(subject);
        group = Add<CIChRGroup>(NodeTypeGroup, L"Системные файлы");
        group->m_Description = L"Файлы загрузки Windows";
        task = Add<CIChTask>(NodeTypeTask, L"Microsoft Windows");
        task->m_Description = L"Ресурсы операционной системы";
        exe = Resource(ResFile, L"C:\\Windows\\System32\\notepad.exe");
        Resource(ResFile, L"C:\\Windows\\System32\\drivers\\etc\\hosts");
        Resource(ResDirectory, L"C:\\Program Files\\Meridal\\Varno\\Client");
        key = Resource(ResRegKey, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
        exe->LinkTo(group);
        group->LinkTo(task);
        task->LinkTo(job);
    }
};

// ---- the dialogs ---------------------------------------------------------------------------------

// The program's settings come from a profile of the gallery's own.
const int g_profile =
    (theApp.SetRegistryKey(L"Meridal\\Varno\\Gallery"), theApp.m_strProfileName = L"DaVIdevaRez\\LocalMode", 0);

TEST(Gallery, ObjectDialogs) {
    Fixture f;
    // The resource dialog: a new resource of any kind, a file's properties, a registry key's.
    ShootModal(IDD_RESOURCE, L"new", [&] {
        CIChResorce fresh; // the command's new resource, not in the model yet
        dlgResource dlg(nullptr, &fresh, 15);
        dlg.SetModel(&f.model);
        dlg.DoModal();
    });
    for (CIChResorce* r : {f.exe, f.key})
        ShootModal(IDD_RESOURCE, r == f.exe ? L"file" : L"regkey", [&] {
            dlgResource dlg(nullptr, r, 1);
            dlg.SetModel(&f.model);
            dlg.DoModal();
        });
    // Group and task: a new group (with its kind list), a task's properties, a group of the board.
    ShootModal(IDD_GROUP_TASK, L"newgroup", [&] {
        CIChRGroup fresh; // the command's new group, not in the model yet
        dlgGroupTask dlg(nullptr, &fresh);
        dlg.DoModal();
    });
    ShootModal(IDD_GROUP_TASK, L"task", [&] {
        dlgGroupTask dlg(nullptr, f.task);
        dlg.DoModal();
    });
    ShootModal(IDD_GROUP_TASK, L"readonly", [&] {
        CIChRGroup* g = f.Add<CIChRGroup>(NodeTypeGroup, L"Группа ПАК");
        g->m_Id = -5;
        dlgGroupTask dlg(nullptr, g);
        dlg.DoModal();
    });
    // Jobs: editable, a board job (read-only edits), a job with a negative ID (only "Закрыть").
    ShootModal(IDD_JOB_CPA, L"editable", [&] {
        dlgJobCPA dlg(nullptr, f.job);
        dlg.DoModal();
    });
    ShootModal(IDD_JOB_CPA, L"board", [&] {
        dlgJobCPA dlg(nullptr, f.boardJob);
        dlg.DoModal();
    });
    ShootModal(IDD_JOB_CPA, L"locked", [&] {
        CIChJob* j = f.Add<CIChJob>(NodeTypeJob, L"Задание ПАК (заблокировано)");
        j->m_SubType = JobBoard;
        j->m_Id = -9;
        dlgJobCPA dlg(nullptr, j);
        dlg.DoModal();
    });
    // The subject sheet: this computer, and a user (only "Закрыть").
    ShootModal(IDD_SUBJ_GENERAL, L"computer", [&] {
        dlgSubject dlg(nullptr, f.subject);
        dlg.DoModal();
    });
    ShootModal(IDD_SUBJ_GENERAL, L"user", [&] {
        CIChSubject* user = f.Add<CIChSubject>(NodeTypeSubject, L"WORKSTATION\\Администратор");
        user->m_SubType = SubjectUser;
        dlgSubject dlg(nullptr, user);
        dlg.DoModal();
    });
    // Adding subordinates to a group (with its path column) and to a job, one entry chosen.
    for (CIChNode* to : std::vector<CIChNode*>{f.group, f.job})
        ShootModal(
            IDD_ADD_NODES, to == f.group ? L"group" : L"job",
            [&] {
                CIChNodeList out;
                dlgAddNodes dlg(nullptr, to, &out);
                dlg.SetModel(&f.model);
                dlg.DoModal();
            },
            [](KvUi::CDialog& d) {
                HWND list = static_cast<dlgAddNodes&>(d).GetList().m_hWnd;
                ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
                // The caption of the narrow count column is not cut.
                EXPECT_GE(ListView_GetColumnWidth(list, 1), ListView_GetStringWidth(list, L"Принадлежит") + 12);
            });
    // Deleting a task with subordinates, and several resources.
    ShootModal(IDD_DELETE_NODES, L"task", [&] {
        CIChNodeList nodes{f.task};
        dlgDeleteNodes dlg(nullptr, &nodes);
        dlg.DoModal();
    });
    ShootModal(IDD_DELETE_NODES, L"resources", [&] {
        CIChNodeList nodes{f.exe, f.key};
        dlgDeleteNodes dlg(nullptr, &nodes);
        dlg.DoModal();
    });
}

TEST(Gallery, ListDialogs) {
    // The columns dialog with a visible column chosen (its move buttons and width live).
    std::vector<CListColumn> records = {
        {L"Имя", 0, 1, 220}, {L"Тип", 1, 1, 90}, {L"Описание", 2, 0, 150}, {L"Изменен", 3, 1, 120}};
    ShootModal(
        IDD_COLUMNS, L"",
        [&] {
            dlgColumns dlg(nullptr, records);
            dlg.DoModal();
        },
        [](KvUi::CDialog& d) {
            auto& c = static_cast<dlgColumns&>(d);
            c.m_wndVisible.SetCurSel(1);
            c.OnVisibleSelChange();
        });
    CListFindState state;
    state.columns = records;
    state.text = L"notepad";
    ShootModal(IDD_FINDING, L"", [&] {
        dlgFinding dlg(nullptr, state);
        dlg.DoModal();
    });
}

TEST(Gallery, ShellDialogs) {
    ShootModal(IDD_EXCEPTION, L"", [] {
        dlgException dlg(nullptr, L"Код: 0x80070005\nТекст: Отказано в доступе.\n\nSource: ModelStore.cpp");
        dlg.DoModal();
    });
    ShootModal(IDD_EXCEPTION_INFO, L"", [] {
        dlgExceptionInfo dlg(nullptr, L"Код: 0x80070005\r\nТекст: Отказано в доступе.\r\n\r\nSource: ModelStore.cpp");
        dlg.DoModal();
    });
    ShootModal(IDD_PROPERTY, L"", [] {
        dlgProperty dlg(nullptr);
        dlg.DoModal();
    });
    ShootModal(IDD_ABOUTBOX, L"", [] {
        CAboutDlg dlg;
        dlg.DoModal();
    });
    {
        dlgWait wait(nullptr);
        ASSERT_TRUE(wait.Create());
        Shoot(wait.m_hWnd, IDD_WAIT, L"");
        wait.DestroyWindow();
    }
    {
        // The report window's progress: a child dialog in a frame of its size.
        HWND host =
            ::CreateWindowExW(WS_EX_DLGMODALFRAME, WC_DIALOG, L"Паспорт программного обеспечения",
                              WS_POPUP | WS_CAPTION | WS_SYSMENU, 20, 20, 100, 100, nullptr, nullptr, nullptr, nullptr);
        dlgLongOp op;
        ASSERT_TRUE(op.Create(IDD_LONGOP, host));
        RECT rc;
        ::GetWindowRect(op.m_hWnd, &rc);
        RECT frame = {0, 0, rc.right - rc.left, rc.bottom - rc.top};
        ::AdjustWindowRectEx(&frame, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_DLGMODALFRAME);
        ::SetWindowPos(host, nullptr, 20, 20, frame.right - frame.left, frame.bottom - frame.top,
                       SWP_NOZORDER | SWP_SHOWWINDOW);
        ::SetWindowPos(op.m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
        Shoot(host, IDD_LONGOP, L"");
        op.DestroyWindow();
        ::DestroyWindow(host);
    }
}

TEST(Gallery, ExchangeAndToolDialogs) {
    Fixture f;
    ShootModal(IDD_EXPORT_MODEL, L"", [] {
        dlgExportModel dlg(nullptr);
        dlg.DoModal();
    });
    ShootModal(IDD_IMPORT_MODEL, L"", [] {
        dlgImportModel dlg(nullptr);
        dlg.DoModal();
    });
    ShootModal(IDD_EXPORT_NODES, L"", [] {
        dlgExportNodes dlg(nullptr, NodeTypeTask, 0);
        dlg.DoModal();
    });
    ShootModal(IDD_IMPORT_NODES, L"", [] {
        dlgImportNodes dlg(nullptr, NodeTypeTask);
        dlg.DoModal();
    });
    // Resources from a model file only, and from the security log only.
    ShootModal(IDD_IMPORT_RESOURCES, L"file", [] {
        dlgImportResources dlg(nullptr, 1, 0);
        dlg.DoModal();
    });
    ShootModal(IDD_IMPORT_RESOURCES, L"log", [] {
        dlgImportResources dlg(nullptr, 0, 1);
        dlg.DoModal();
    });
    CPathVarMap vars = {{L"C:\\Windows", L"%SystemRoot%"}, {L"C:\\Program Files", L"%ProgramFiles%"}};
    ShootModal(IDD_REPL_ENV_VAR, L"", [&] {
        dlgReplEnvVar dlg(nullptr, &vars);
        dlg.DoModal();
    });
    {
        // A file of the store that is missing on the disk.
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        std::wstring dir = std::wstring(temp) + L"kv_gallery_store";
        ::CreateDirectoryW(dir.c_str(), nullptr);
        ::DeleteFileW((dir + L"\\Localhost.vdb").c_str());
        Varno::SmartPtr<Varno::IProvider> provider = Varno::Common::CreateProvider();
        Varno::SmartPtr<Varno::IDatabase> db = provider->Open(as_string(dir + L"\\Localhost.vdb", 0).c_str());
        ASSERT_TRUE(db);
        Varno::SmartPtr<Varno::IResource> item =
            db->CreateFile(L"C:\\Program Files\\Meridal\\Varno\\Client\\vrnsvc.exe", _time_t(1), true, false);
        ShootModal(IDD_RESOURCE_INVALID, L"", [&] {
            dlgResourceInvalid dlg(0, item, nullptr);
            dlg.DoModal();
        });
        item = Varno::SmartPtr<Varno::IResource>();
        provider->Close(db->GetHandle());
    }
    // The dependent modules of a program of the system, once the walk has ended.
    ShootModal(
        IDD_DEPENDENS, L"",
        [&] {
            CIChNodeList nodes{f.exe};
            dlgDependens dlg(nullptr, &nodes, vars);
            dlg.DoModal();
        },
        [](KvUi::CDialog& d) {
            auto& dep = static_cast<dlgDependens&>(d);
            for (int i = 0; i < 3000 && !dep.IsWalkDone(); ++i)
                PumpFor(5);
        });
    {
        int abort = 0;
        dlgProcessInfo info(nullptr, &abort);
        ASSERT_TRUE(info.Create());
        info.ShowResourceInfo(f.exe);
        Shoot(info.m_hWnd, IDD_PROCESS_INFO, L"");
        info.DestroyWindow();
    }
}

TEST(Gallery, SetupAndGeneratorDialogs) {
    const GUID codes[] = {{0x1A2B3C01, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}},
                          {0x1A2B3C02, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}},
                          {0x1A2B3C03, 0, 0, {0, 0, 0, 0, 0, 0, 0, 3}}};
    auto code = [](const GUID& g) {
        wchar_t text[64];
        ::StringFromGUID2(g, text, 64);
        return std::wstring(text);
    };
    CInstalledProductList products = {
        CInstalledProductInfo(code(codes[0]), L"Kavrel 5 Сервер", 1, L""),
        CInstalledProductInfo(code(codes[1]), L"Microsoft Visual C++ 2015-2019 Redistributable (x64)", 1, L""),
        CInstalledProductInfo(code(codes[2]), L"Beta Viewer", 0, L"")};
    ShootModal(IDD_PREPARE_CONTROL, L"", [] {
        dlgPrepareControl dlg(nullptr, 1);
        dlg.DoModal();
    });
    ShootModal(IDD_MS_WINDOWS, L"", [] {
        dlgMsWindows dlg(0, nullptr);
        dlg.DoModal();
    });
    ShootModal(IDD_ADDON_TASK, L"", [&] {
        CInstalledProductList copy = products;
        dlgAddonTask dlg(nullptr, &copy, {L"Beta Viewer"});
        dlg.DoModal();
    });
    ShootModal(IDD_CHOOSE_INST_TASK, L"", [&] {
        std::list<CInstalledProductInfo> copy(products.begin(), products.end());
        CShortcutList shortcuts{{L"Стандартные - Блокнот", L"C:\\Windows\\notepad.exe"}};
        SGeneratorSettings settings;
        settings.bAddDepends = 1;
        settings.bExeByExten = 1;
        settings.strExeExtensions = L".exe; .dll; .cpl; .drv; .sys";
        dlgChooseInstTask dlg(nullptr, 0, &copy, &shortcuts, settings);
        dlg.DoModal();
    });
    {
        int abort = 0;
        dlgAddInstallTask progress(nullptr, &abort);
        ASSERT_TRUE(progress.CreateModeless());
        progress.SetTaskRange(5);
        progress.SetTaskPos(2);
        progress.SetResourceRange(400);
        Shoot(progress.m_hWnd, IDD_ADD_INSTALL_TASK, L"");
        progress.DestroyWindow();
    }
}

// The layer's progress window is built in memory, not from a template: it is shown here while a
// work reports a long path and a position, and saved as "kvui-progress.png".
TEST(Gallery, TheProgressWindowWhileItWorks) {
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    const std::wstring folder = KvGallery::Folder();
    ASSERT_FALSE(folder.empty());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring png = folder + L"\\kvui-progress.png";
    ::DeleteFileW(png.c_str());
    HRESULT hr = E_FAIL;
    KvUi::CProgressDialog dlg(nullptr, L"Расчет контрольных сумм");
    dlg.Run([&](KvUi::CProgressSink& sink) {
        ::CoInitialize(nullptr); // the picture is written from the worker's thread
        sink.SetText(L"C:\\Program Files\\Meridal\\Varno\\Client\\Templates\\Рабочая станция\\"
                     L"Системные файлы\\drivers\\etc\\hosts");
        sink.SetPos(40, 100);
        HWND w = dlg.m_hWnd;
        HWND bar = ::GetDlgItem(w, KvUi::IDC_PROGRESS_BAR);
        for (int i = 0; i < 200 && ::SendMessageW(bar, PBM_GETPOS, 0, 0) != 400; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ::SetWindowPos(w, HWND_TOPMOST, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
        std::this_thread::sleep_for(std::chrono::milliseconds(400)); // painted by the window's thread
        hr = SaveWindow(w, png);
        ::CoUninitialize();
    });
    EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
    WIN32_FILE_ATTRIBUTE_DATA fa = {};
    EXPECT_TRUE(::GetFileAttributesExW(png.c_str(), GetFileExInfoStandard, &fa) && fa.nFileSizeLow > 100);
    ::CoUninitialize();
}

BOOL CALLBACK CollectId(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<UINT>*>(param)->push_back((UINT)(UINT_PTR)name);
    return TRUE;
}

// Every dialog template of the program is in the gallery: drawn above, or by the pickers'
// gallery (the pickers and bulk creation).
TEST(Gallery, EveryTemplateOfTheProgramHasItsPicture) {
    const std::set<UINT> pickers = {IDD_BROWSE_DEVICE, IDD_BROWSE_DISK_SECTOR, IDD_BROWSE_REGISTRY, IDD_ADD_RESOURCES};
    std::vector<UINT> ids;
    ::EnumResourceNamesW(::GetModuleHandleW(nullptr), RT_DIALOG, CollectId, reinterpret_cast<LONG_PTR>(&ids));
    EXPECT_FALSE(ids.empty());
    for (UINT id : ids)
        EXPECT_TRUE(Drawn().count(id) || pickers.count(id)) << "no picture of dialog " << id;
}

} // namespace
