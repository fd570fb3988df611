// What the object-command tests share: the real main window made from the program's resources,
// a scripted presenter, dialog steps (click, type, choose), dumps of the model, the tree and the
// active list, a local folder of files and a registry key as fixtures, and the save and reload of
// the model through the board's store.
#pragma once

#include <gtest/gtest.h>

#include "AppStoreHost.h"
#include "DaVIdevaRez.h"
#include "DiskQuery.h"
#include "FrameTestSupport.h"
#include "IChList.h"
#include "MainFrm.h"
#include "kvclick.h"
#include "kvpresenter.h"
#include "resource.h"
#include "ViewsTestSupport.h"

#include <KvExchangeUtils.h>
#include <valkit.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace ObjCmdsTest {

// ---- dialog steps ---------------------------------------------------------------------------------

// The kit's steps: a hidden or disabled control refuses a click, typing and a choice.
using KvTest::Choose;
using KvTest::Click;
using KvTest::Enabled;
using KvTest::Type;
using KvTest::Visible;
inline bool Checked(KvUi::CWnd& dlg, int id) { return ::IsDlgButtonChecked(dlg.m_hWnd, id) == BST_CHECKED; }
inline bool ReadOnly(KvUi::CWnd& dlg, int id) {
    return (::GetWindowLongW(dlg.GetDlgItem(id), GWL_STYLE) & ES_READONLY) != 0;
}
inline std::vector<std::wstring> Entries(KvUi::CWnd& dlg, int id, bool listBox = false) {
    HWND h = dlg.GetDlgItem(id);
    std::vector<std::wstring> out;
    const int n = (int)::SendMessageW(h, listBox ? LB_GETCOUNT : CB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i) {
        wchar_t text[512] = {};
        ::SendMessageW(h, listBox ? LB_GETTEXT : CB_GETLBTEXT, i, (LPARAM)text);
        out.push_back(text);
    }
    return out;
}
// Ends a dialog that a step left open (a refused OK), so that the run goes on.
inline void EndIfOpen(KvUi::CDialog& dlg) {
    if (!dlg.IsEnded())
        dlg.EndDialog(IDCANCEL);
}

// ---- dumps -------------------------------------------------------------------------------------

// The lines sorted, each ended by a line feed.
inline std::wstring SortedLines(std::vector<std::wstring> lines) {
    std::sort(lines.begin(), lines.end());
    std::wstring out;
    for (const std::wstring& l : lines)
        out += l + L"\n";
    return out;
}

// The model as sorted lines "kind name [SubType] {flags} <- upper, upper" (IDs and times left out).
// With stored set, as the board's store keeps it: the first job only (a workstation has one).
inline std::wstring DumpModel(CIChDataModel& m, bool stored = false) {
    const CIChNode* firstJob = m.m_Jobs.empty() ? nullptr : m.m_Jobs.front();
    auto kept = [&](const CIChNode* n) { return !stored || n->GetType() != NodeTypeJob || n == firstJob; };
    static const wchar_t* const kinds[] = {L"R", L"G", L"T", L"J", L"S"};
    std::vector<std::wstring> lines;
    for (int i = 0; i < 5; ++i)
        for (CIChNode* n : *m.GetNodeList(1 + 2 * i)) {
            if (!kept(n))
                continue;
            std::wstring line = std::wstring(kinds[i]) + L" " + n->m_Name;
            if (i == 0) {
                auto* r = static_cast<CIChResorce*>(n);
                line += format_wstring(L" [%d] {c%d e%d}", r->m_SubType, r->m_Controlled, r->m_Executable);
            } else if (i != 2) {
                line += format_wstring(L" [%d]", GetNodeSubType(n));
            }
            std::vector<std::wstring> uppers;
            for (CIChNode* u : n->m_Uppers)
                if (kept(u))
                    uppers.push_back(u->m_Name);
            std::sort(uppers.begin(), uppers.end());
            if (!uppers.empty()) {
                line += L" <-";
                for (const std::wstring& u : uppers)
                    line += L" " + u;
            }
            lines.push_back(line);
        }
    return SortedLines(lines);
}

// ---- fixtures on disk and in the registry -----------------------------------------------------------

// A folder of the prefix's drive C: with a few files and a sub-folder.
struct CLocalFiles {
    std::wstring dir;
    CLocalFiles() {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        dir = std::wstring(temp) + L"objcmds_files";
        Remove();
        ::CreateDirectoryW(dir.c_str(), nullptr);
        ::CreateDirectoryW((dir + L"\\sub").c_str(), nullptr);
        for (const wchar_t* name : {L"app.exe", L"data.txt", L"tool.DLL", L"other.exe"})
            Write(name);
    }
    ~CLocalFiles() { Remove(); }
    std::wstring Path(const std::wstring& name) const { return dir + L"\\" + name; }
    void Write(const std::wstring& name) const {
        HANDLE h = ::CreateFileW(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        ::WriteFile(h, "content", 7, &written, nullptr);
        ::CloseHandle(h);
    }
    void Remove() {
        for (const wchar_t* name : {L"app.exe", L"data.txt", L"tool.DLL", L"other.exe"})
            ::DeleteFileW(Path(name).c_str());
        ::RemoveDirectoryW((dir + L"\\sub").c_str());
        ::RemoveDirectoryW(dir.c_str());
    }
};

// HKEY_CURRENT_USER\Software\KvObjCmdsTests with its default value, a value whose name holds a
// backslash and a sub-key.
struct CRegistryFixture {
    const std::wstring key = L"HKEY_CURRENT_USER\\Software\\KvObjCmdsTests";
    CRegistryFixture() {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KvObjCmdsTests");
        HKEY h = nullptr;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\KvObjCmdsTests\\Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &h, nullptr);
        ::RegCloseKey(h);
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\KvObjCmdsTests", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                          nullptr);
        const wchar_t data[] = L"value";
        ::RegSetValueExW(h, nullptr, 0, REG_SZ, (const BYTE*)data, sizeof(data));
        ::RegSetValueExW(h, L"a\\b", 0, REG_SZ, (const BYTE*)data, sizeof(data));
        ::RegCloseKey(h);
    }
    ~CRegistryFixture() { ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KvObjCmdsTests"); }
    // The default value and the value "a\b" as a resource names them.
    std::wstring DefaultValue() const { return key + L"\\" + RegDefaultValueToken; }
    std::wstring SlashValue() const { return key + L"\\a" + RegBackslashToken + L"b"; }
    std::wstring SubKey() const { return key + L"\\Sub"; }
};

// Drive C: is the board's and a local hard disk, for the store and for the resource dialog.
class CDriveC : public CDriveAnswers {
public:
    DWORD LogicalDriveStrings(DWORD size, wchar_t* buffer) override {
        static const wchar_t all[] = L"C:\\\0\0";
        if (size < 5)
            return 5;
        std::copy(all, all + 5, buffer);
        return 4;
    }
    int IsLocalHardDisk(wchar_t letter) override { return letter == L'C'; }
};

// ---- the frame ----------------------------------------------------------------------------------

class CObjFrame : public CMainFrame {
public:
    CObjFrame() { m_bAutoDelete = FALSE; }
};

struct FrameFixture : ::testing::Test, KvFrameTest::CFrameHolder<CObjFrame> {
    KvTest::CScopedPresenter p;
    std::function<int(wchar_t)> oldLocal;

    void SetUp() override {
        theApp.m_nConfirmation = 0;
        theApp.m_bExeByExten = 1;
        theApp.m_strExeExtensions = dlgResourceDefaultExtensions();
        oldLocal = SetLocalHardDiskAnswer([](wchar_t d) { return d == L'C' || d == L'c' ? 1 : 0; });
        ASSERT_NO_FATAL_FAILURE(OpenFrame());
        frame->m_Model.NewModel(1, JobSecondEdition);
        frame->m_nCurrentCategory = -1;
        Send(ID_CATEGORY_SUBJECTS);
    }
    void TearDown() override {
        theApp.m_nConfirmation = 0;
        CloseFrame();
        SetLocalHardDiskAnswer(oldLocal);
    }
    static std::wstring dlgResourceDefaultExtensions();
    CIChDataModel& Model() { return frame->m_Model; }
    CIChModelView& Tree() { return frame->GetTree(); }
    // The frame's command state, and a dialog control's as the kit reads it.
    using CFrameHolder::Enabled;
    static bool Enabled(HWND dialog, int id) { return KvTest::Enabled(dialog, id); }
    void Category(UINT id) {
        if ((int)id == frame->m_nCurrentCategory)
            frame->m_nCurrentCategory = -1;
        Send(id);
    }
    // Selects the node's first item in the tree (the tree then makes it current).
    void Select(CIChNode* n) { ASSERT_TRUE(Tree().SelectNode(n, TVI_ROOT)) << "not in the tree"; }
    void SelectRoot() { Tree().SelectItem(Tree().GetRootItem()); }
    std::wstring TreeText() { return DumpTree(Tree()); }
    CIChList* ActiveList() {
        CIChViewer* v = frame->m_wndView.GetActiveViewer();
        return v ? dynamic_cast<CIChList*>(KvUi::CWnd::FromHandlePermanent(v->GetWnd())) : nullptr;
    }
    // The active list's rows: first column texts, in row order.
    std::wstring ListText() {
        CIChList* list = ActiveList();
        std::wstring out;
        for (int i = 0; list && i < list->GetRowCount(); ++i)
            out += list->GetRowNode(i)->m_Name + L"\n";
        return out;
    }
    // Selects the rows of the nodes in the active list and gives the list the focus (the list
    // variants of the commands act on it then).
    void SelectRows(const std::vector<CIChNode*>& nodes) {
        CIChList* list = ActiveList();
        ASSERT_NE(nullptr, list);
        list->SetItemState(-1, 0, LVIS_SELECTED);
        for (int i = 0; i < list->GetRowCount(); ++i)
            if (std::find(nodes.begin(), nodes.end(), list->GetRowNode(i)) != nodes.end())
                list->SetItemState(i, LVIS_SELECTED, LVIS_SELECTED);
        ::SetFocus(list->m_hWnd);
        ASSERT_EQ(list->m_hWnd, ::GetFocus());
        CIChNodeList chosen;
        frame->GetCurrentObject(&chosen);
        ASSERT_EQ(nodes.size(), chosen.size());
    }
    void FocusTree() { ::SetFocus(Tree().m_hWnd); }
    template <class T>
    T* Add(int type, const std::wstring& name) {
        return AddNode<T>(Model(), type, name);
    }
    CIChResorce* AddFile(const std::wstring& path) {
        auto* r = Add<CIChResorce>(NodeTypeResource, L"");
        r->SetSubType(ResFile);
        r->SetName(path);
        return r;
    }
    std::wstring Stored() { return DumpModel(Model(), true); }
    CIChNode* DefaultJob() { return Model().m_Jobs.front(); }
    CIChNode* DefaultSubject() { return Model().m_Subjects.front(); }

    // Saves the frame's model to the board's store and loads it into a fresh model: the dump of
    // what was loaded (compare with Stored()).
    std::wstring SaveAndReload() {
        CDriveC drives;
        theApp.SetDriveAnswers(&drives);
        CAppModelStoreHost host;
        SetModelStoreHost(&host);
        ::DeleteFileW(L"C:\\Varno\\Localhost.vdb");
        theApp.m_pMainWnd = frame;
        std::wstring out;
        EXPECT_EQ(0, Model().Save(nullptr));
        {
            CIChDataModel loaded;
            EXPECT_EQ(0, loaded.Load());
            out = DumpModel(loaded, true);
        }
        theApp.m_pMainWnd = nullptr;
        SetModelStoreHost(nullptr);
        theApp.SetDriveAnswers(nullptr);
        theApp.ResetProvider();
        return out;
    }
};

inline std::wstring FrameFixture::dlgResourceDefaultExtensions() {
    return L".exe; .dll; .cpl; .drv; .sys; .ocx; .vbs; .scr; .rll; .ime; .bpl; .ax; .acm; .com; .ppl; .cmd; .bat";
}

} // namespace ObjCmdsTest
