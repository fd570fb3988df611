// Bulk resource creation as a real window, its pickers answered through the presenter; and the
// road of picked resources on into the model, the board's store and its lists: Wine's own SMBIOS
// table, a disk image, the live registry.
#include <gtest/gtest.h>

#include "kvclick.h"
#include "kvpresenter.h"
#include "pickers_fixtures.h"

#include "IChDataModel.h"
#include "IChNode.h"
#include "ModelStore.h"
#include "Pickers.h"
#include "dlgResource.h"
#include "objcmds_ids.h"
#include "pickers_ids.h"

#include <KvRegTokens.h>
#include <VCore.h>
#include <VCoreTesting.h>

#include <fstream>
#include <functional>
#include <sstream>

using namespace KvUi;
using namespace PickerFixtures;

namespace {

const int g_init = (::InitCommonControls(), 0);

using KvTest::Click;
using KvTest::Enabled;
using KvTest::Visible;

std::vector<std::wstring> Kinds(CDialog& d) {
    std::vector<std::wstring> out;
    HWND list = d.GetDlgItem(IDC_ADDRES_KINDS);
    int n = (int)::SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i) {
        wchar_t buf[128] = {};
        ::SendMessageW(list, LB_GETTEXT, i, (LPARAM)buf);
        out.push_back(buf);
    }
    return out;
}

std::vector<std::wstring> OperationRows(CDialog& d) {
    std::vector<std::wstring> out;
    HWND list = d.GetDlgItem(IDC_ADDRES_OPERATIONS);
    for (int i = 0; i < ListView_GetItemCount(list); ++i) {
        wchar_t text[1024] = {}, nested[8] = {};
        ListView_GetItemText(list, i, 0, text, 1024);
        ListView_GetItemText(list, i, 1, nested, 8);
        out.push_back(std::wstring(text) + L"|" + nested);
    }
    return out;
}

// The records of an operation list as text, in order.
std::vector<std::wstring> Records(const CResourceOperationList& ops) {
    std::vector<std::wstring> out;
    for (const SResourceOperation* op : ops) {
        std::wstring masks;
        for (const std::wstring& m : op->filters)
            masks += L"[" + m + L"]";
        out.push_back(std::to_wstring(op->nKind) + L":" + std::to_wstring(op->bNested) + L":" + op->strPath + masks);
    }
    return out;
}

void SetFilters(const std::vector<std::wstring>& lines) {
    g_app.DeleteProfileEntry(L"Filters", nullptr);
    for (size_t i = 0; i < lines.size(); ++i)
        g_app.WriteProfileString(L"Filters", (L"Filter" + std::to_wstring(i)).c_str(), lines[i].c_str());
}

// The "Filter%d" values of the profile, in number order, up to the first one missing.
std::vector<std::wstring> StoredFilters() {
    std::vector<std::wstring> out;
    for (int i = 0;; ++i) {
        std::wstring v = g_app.GetProfileString(L"Filters", (L"Filter" + std::to_wstring(i)).c_str(), L"\x01");
        if (v == L"\x01")
            break;
        out.push_back(v);
    }
    return out;
}

// Runs the dialog with a script; the caller's list is read inside `after` (before the dialog is
// destroyed, as the main window's command does).
INT_PTR RunBulk(int selector, KvTest::CScopedPresenter& presenter, std::function<void(dlgAddResources&)> script,
                std::function<void(dlgAddResources&, CResourceOperationList&)> after = nullptr, int exeByExten = 1) {
    CResourceOperationList ops;
    INT_PTR r;
    {
        dlgAddResources dlg(nullptr, &ops, selector, exeByExten);
        presenter.OnDialog<dlgAddResources>(IDD_ADD_RESOURCES, [&](dlgAddResources& d) {
            script(d);
            if (!d.IsEnded())
                d.EndDialog(IDCANCEL);
        });
        r = dlg.DoModal();
        if (after)
            after(dlg, ops);
    }
    EXPECT_TRUE(ops.empty()); // the dialog deleted its records
    return r;
}

TEST(BulkCreation, EachSelectorOffersItsFamilyOnly) {
    struct Case {
        int selector;
        std::vector<std::wstring> kinds;
        bool exeShown;
        int mark;
    };
    const Case cases[] = {
        {0, {L"Выбранные файлы", L"Файлы по каталогу"}, true, 1},
        {1, {L"Переменные по ключу", L"Ключи с переменными"}, false, 0},
        {2, {L"Секторы дисков"}, false, 0},
        {3, {L"Конфигурация оборудования"}, false, 0},
        {-1,
         {L"Выбранные файлы", L"Файлы по каталогу", L"Переменные по ключу", L"Ключи с переменными", L"Секторы дисков",
          L"Конфигурация оборудования"},
         true,
         1},
    };
    for (const Case& c : cases) {
        KvTest::CScopedPresenter presenter;
        RunBulk(c.selector, presenter, [&](dlgAddResources& d) {
            EXPECT_EQ(c.kinds, Kinds(d)) << c.selector;
            EXPECT_EQ(c.exeShown, Visible(d, IDC_ADDRES_EXE_MARK)) << c.selector;
            EXPECT_EQ(c.mark, d.m_bMarkExecutable) << c.selector;
            EXPECT_FALSE(Enabled(d, IDOK));
            EXPECT_FALSE(Enabled(d, IDC_ADDRES_REMOVE));
            EXPECT_EQ(c.selector == 1, Enabled(d, IDC_ADDRES_NESTED)) << c.selector;
        });
    }
}

TEST(BulkCreation, FilesThenRemovalAndOkFollowsTheList) {
    KvTest::CScopedPresenter presenter;
    std::wstring dir = LocalTempPath(L"");
    std::vector<std::wstring> files = {dir + L"a.exe", dir + L"b.dll", dir + L"c.txt"};
    for (const std::wstring& f : files)
        TouchFile(f);
    presenter.QueueFiles(files);
    RunBulk(0, presenter, [&](dlgAddResources& d) {
        Click(d, IDC_ADDRES_ADD);
        std::vector<std::wstring> rows = OperationRows(d);
        ASSERT_EQ(3u, rows.size());
        EXPECT_EQ(L"Выбранные файлы: " + files[0] + L"|", rows[0]);
        EXPECT_TRUE(Enabled(d, IDOK));
        EXPECT_TRUE(Enabled(d, IDC_ADDRES_REMOVE)); // the last row is selected
        HWND list = d.GetDlgItem(IDC_ADDRES_OPERATIONS);
        for (int i = 0; i < 3; ++i)
            ListView_SetItemState(list, i, LVIS_SELECTED, LVIS_SELECTED);
        Click(d, IDC_ADDRES_REMOVE);
        EXPECT_TRUE(OperationRows(d).empty());
        EXPECT_FALSE(Enabled(d, IDOK));
        EXPECT_FALSE(Enabled(d, IDC_ADDRES_REMOVE));
        EXPECT_EQ(d.GetDlgItem(IDCANCEL), ::GetFocus());
    });
    ASSERT_EQ(1u, presenter.FileQuestions().size());
    EXPECT_EQ(L"Выбор файлов", presenter.FileQuestions()[0].title);
    EXPECT_TRUE(presenter.FileQuestions()[0].multiple);
}

TEST(BulkCreation, FolderByFilterTakesTheChosenLineAndRefusesWhenThereIsNone) {
    SetFilters({L"*.exe; *.dll", L"*.sys,*.drv"});
    KvTest::CScopedPresenter presenter;
    std::wstring folder = LocalTempPath(L"bulkdir");
    ::CreateDirectoryW(folder.c_str(), nullptr);
    presenter.QueueFolder(folder);
    presenter.QueueFolder(folder);
    RunBulk(
        -1, presenter,
        [&](dlgAddResources& d) {
            d.SelectKind(dlgAddResources::KindFolderFiles);
            EXPECT_TRUE(Enabled(d, IDC_ADDRES_NESTED));
            EXPECT_TRUE(Enabled(d, IDC_ADDRES_EXE_MARK));
            EXPECT_FALSE(::IsWindowEnabled(d.GetFilterList().m_hWnd));
            Click(d, IDC_ADDRES_BY_FILTER);
            EXPECT_TRUE(::IsWindowEnabled(d.GetFilterList().m_hWnd));
            Click(d, IDC_ADDRES_NESTED);
            Click(d, IDC_ADDRES_ADD); // no line selected: the first
            d.GetFilterList().SelectItem(1);
            Click(d, IDC_ADDRES_ADD);
            // Every line gone: "by filter" cannot be taken.
            d.GetFilterList().RemoveAll();
            Click(d, IDC_ADDRES_ADD);
            std::vector<std::wstring> rows = OperationRows(d);
            ASSERT_EQ(2u, rows.size());
            EXPECT_EQ(L"Файлы по каталогу: " + folder + L"\\(фильтр)|+", rows[0]);
            // A registry kind disables the executable mark; back to the folder kind enables it.
            d.SelectKind(dlgAddResources::KindRegValues);
            EXPECT_FALSE(Enabled(d, IDC_ADDRES_EXE_MARK));
            d.SelectKind(dlgAddResources::KindFolderFiles);
            EXPECT_TRUE(Enabled(d, IDC_ADDRES_EXE_MARK));
        },
        [&](dlgAddResources&, CResourceOperationList& ops) {
            EXPECT_EQ(
                (std::vector<std::wstring>{L"1:1:" + folder + L"[*.exe][*.dll]", L"1:1:" + folder + L"[*.sys][*.drv]"}),
                Records(ops));
        });
    auto boxes = presenter.Boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_NE(std::wstring::npos, boxes[0].text.find(L"фильтр"));
}

// The filter lines in the profile: the fixed list when there are none, a deleted line leaves no
// gap, an empty line is not written (it would end the next reading), Cancel writes nothing.
TEST(BulkCreation, FilterLinesLiveInTheProfile) {
    const std::wstring fixed =
        L"*.exe; *.dll; *.cpl; *.drv; *.sys; *.ocx; *.vbs; *.scr; *.rll; *.ime; *.bpl; *.ax; *.acm; *.com; *.ppl; "
        L"*.cmd; *.bat";
    struct Case {
        std::vector<std::wstring> stored;
        std::function<void(CEditListBox&)> edit;
        bool ok;
        std::vector<std::wstring> shown, after;
    };
    auto none = [](CEditListBox&) {};
    const Case cases[] = {
        {{}, none, true, {fixed}, {fixed}},
        {{L"a", L"b", L"c"}, [](CEditListBox& l) { l.RemoveItem(1); }, true, {L"a", L"b", L"c"}, {L"a", L"c"}},
        {{L"a", L"b", L"c"}, [](CEditListBox& l) { l.SetItemText(1, L""); }, true, {L"a", L"b", L"c"}, {L"a", L"c"}},
        {{L"a", L"b", L"c"}, [](CEditListBox& l) { l.RemoveItem(0); }, false, {L"a", L"b", L"c"}, {L"a", L"b", L"c"}},
        {{L"a", L"", L"c"}, none, true, {L"a"}, {L"a"}},
    };
    std::wstring file = LocalTempPath(L"f.txt");
    TouchFile(file);
    for (const Case& c : cases) {
        SetFilters(c.stored);
        KvTest::CScopedPresenter presenter;
        presenter.QueueFiles({file});
        RunBulk(0, presenter, [&](dlgAddResources& d) {
            EXPECT_EQ(c.shown, d.GetFilterList().GetItems());
            c.edit(d.GetFilterList());
            Click(d, IDC_ADDRES_ADD);
            Click(d, c.ok ? IDOK : IDCANCEL);
        });
        EXPECT_EQ(c.after, StoredFilters());
    }
}

// OK with a registry, sector or hardware family, where the filter lines are neither shown nor
// read, leaves the user's lines in the profile as they were; with files they are written back.
TEST(BulkCreation, OkKeepsTheFilterLinesOfTheProfileWhereTheyWereNotShown) {
    ScopedSources sources;
    sources.Pci(TwoEqualAdaptersAndANetworkCard());
    sources.Smbios(BuiltSmbiosTable());
    std::wstring image = TempPath(L"bulk_filters.img");
    WriteNestedMbrImage(image);
    sources.Drives({VDeviceInfo::Common::ReadDiskImage(image, 1, 512)});
    std::wstring file = LocalTempPath(L"f.txt");
    TouchFile(file);
    const std::vector<std::wstring> stored = {L"*.exe", L"*.sys; *.drv", L"*.txt"};
    for (int selector : {0, 1, 2, 3}) {
        SCOPED_TRACE(selector);
        SetFilters(stored);
        KvTest::CScopedPresenter presenter;
        presenter.QueueFiles({file});
        presenter.OnDialog<dlgBrowseRegistry>(IDD_BROWSE_REGISTRY, [](dlgBrowseRegistry& r) {
            HTREEITEM hkcu = r.FindChild(r.GetRootItem(), L"HKEY_CURRENT_USER");
            r.GetTree().Expand(hkcu, TVE_EXPAND);
            r.GetTree().SelectItem(r.FindChild(hkcu, L"Software"));
            EXPECT_TRUE(Click(r, IDOK));
        });
        presenter.OnDialog<dlgBrowseDiskSector>(IDD_BROWSE_DISK_SECTOR, [](dlgBrowseDiskSector& s) {
            ::ShowWindow(s.m_hWnd, SW_SHOW);
            CTreeCtrlEx& tree = s.GetTree();
            tree.SelectItem(Child(tree, Child(tree, nullptr, L"PhysicalDrive1"), L"MBR"));
            PressSpace(tree);
            EXPECT_TRUE(Click(s, IDOK));
        });
        presenter.OnDialog<dlgBrowseDevice>(IDD_BROWSE_DEVICE, [](dlgBrowseDevice& b) {
            ::ShowWindow(b.m_hWnd, SW_SHOW);
            HTREEITEM first = nullptr;
            b.ForEachItem([&](HTREEITEM h) {
                if (!first && b.GetItemEntry(h))
                    first = h;
            });
            ASSERT_NE(nullptr, first);
            b.GetTree().SelectItem(first);
            PressSpace(b.GetTree());
            EXPECT_TRUE(Click(b, IDOK));
        });
        RunBulk(selector, presenter, [&](dlgAddResources& d) {
            if (selector == 0)
                d.GetFilterList().RemoveItem(1);
            Click(d, IDC_ADDRES_ADD);
            ASSERT_TRUE(Enabled(d, IDOK)) << "no operation was added";
            Click(d, IDOK);
        });
        const std::vector<std::wstring> expected =
            selector == 0 ? std::vector<std::wstring>{L"*.exe", L"*.txt"} : stored;
        EXPECT_EQ(expected, StoredFilters());
    }
}

TEST(BulkCreation, RegistryKeyFromThePicker) {
    KvTest::CScopedPresenter presenter;
    presenter.OnDialog<dlgBrowseRegistry>(IDD_BROWSE_REGISTRY, [](dlgBrowseRegistry& r) {
        HTREEITEM hkcu = r.FindChild(r.GetRootItem(), L"HKEY_CURRENT_USER");
        r.GetTree().Expand(hkcu, TVE_EXPAND);
        r.GetTree().SelectItem(r.FindChild(hkcu, L"Software"));
        EXPECT_TRUE(Click(r, IDOK));
    });
    RunBulk(
        1, presenter,
        [&](dlgAddResources& d) {
            Click(d, IDC_ADDRES_NESTED);
            d.SelectKind(dlgAddResources::KindRegKeys);
            Click(d, IDC_ADDRES_ADD);
            EXPECT_EQ((std::vector<std::wstring>{L"Ключи с переменными: HKEY_CURRENT_USER\\Software|+"}),
                      OperationRows(d));
            Click(d, IDOK);
        },
        [&](dlgAddResources& d, CResourceOperationList& ops) {
            EXPECT_EQ((std::vector<std::wstring>{L"5:1:HKEY_CURRENT_USER\\Software"}), Records(ops));
            EXPECT_EQ(0, d.m_bMarkExecutable);
        });
    EXPECT_EQ((std::vector<UINT>{IDD_ADD_RESOURCES, IDD_BROWSE_REGISTRY}), presenter.Dialogs());
}

// ---- on into the model, the store and the board lists ------------------------------------------

// A store in the test's scratch folder with the model's resources in it.
struct StoreOfModel {
    Varno::SmartPtr<Varno::IProvider> provider = Varno::Common::CreateProvider();
    Varno::SmartPtr<Varno::IDatabase> db;
    std::wstring dir;
    explicit StoreOfModel(CIChDataModel& model, const std::wstring& name) {
        dir = TempPath(name);
        ::CreateDirectoryW(dir.c_str(), nullptr);
        db = provider->Open(as_string(dir + L"\\Localhost.vdb", 0).c_str());
        model.ModelToStore(db);
    }
    ~StoreOfModel() {
        if (db)
            provider->Close(db->GetHandle());
    }
    // The lines of a board list, names and checks side by side ("name|check").
    std::vector<std::string> List(const wchar_t* base, Varno::BootListCode code) {
        std::wstring nam = dir + L"\\" + base + L".nam", chk = dir + L"\\" + base + L".chk";
        db->WriteBootList(as_string(nam, 0).c_str(), as_string(chk, 0).c_str(), code);
        auto lines = [](const std::wstring& path) {
            std::ifstream in(as_string(path, 0), std::ios::binary);
            std::vector<std::string> out;
            std::string line;
            while (std::getline(in, line)) {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                out.push_back(line);
            }
            return out;
        };
        std::vector<std::string> names = lines(nam), checks = lines(chk), out;
        for (size_t i = 0; i < names.size() && i < checks.size(); ++i)
            out.push_back(names[i] + "|" + checks[i]);
        return out;
    }
};

CIChDataModel& ModelWithJob(CIChDataModel& m) {
    m.EnsureDefaultJob(m.EnsureDefaultSubject(), 2); // the second edition keeps every kind
    return m;
}

CIChResorce* AddResource(CIChDataModel& m, const SResourceOperation& op) {
    auto* r = static_cast<CIChResorce*>(m.CreateNode(NodeTypeResource));
    r->m_Id = m.TakeNextId(NodeTypeResource);
    EXPECT_EQ(1, FillResourceFromOperation(op, *r));
    return r;
}

// The bytes of Wine's table with the byte at an offset of one structure changed.
std::vector<BYTE> WithChangedByte(std::vector<BYTE> raw, WORD handle, DWORD offset) {
    for (size_t p = 8; p + 4 <= raw.size();) {
        size_t len = raw[p + 1], e = p + len;
        WORD h = (WORD)(raw[p + 2] | (raw[p + 3] << 8));
        if (h == handle) {
            if (offset < len)
                raw[p + offset] ^= 0x5A;
            return raw;
        }
        while (e + 1 < raw.size() && !(raw[e] == 0 && raw[e + 1] == 0))
            ++e;
        p = e + 2;
    }
    return raw;
}

TEST(BulkToStore, WineSmbiosTableByClickAndFieldBySpaceGoIntoTheBoardList) {
    KvTest::CScopedPresenter presenter;
    std::wstring tableName, fieldName;
    DWORD fieldOffset = 0;
    WORD fieldHandle = 0;
    auto pick = [&](dlgBrowseDevice& b) {
        ::ShowWindow(b.m_hWnd, SW_SHOW);
        CTreeCtrlEx& tree = b.GetTree();
        // The tables of Wine's firmware: the first is checked by a click on its check box, a text
        // field of another one by Space.
        std::vector<HTREEITEM> tables;
        b.ForEachItem([&](HTREEITEM h) {
            if (VDeviceInfo::SmartPtr<VDeviceInfo::ISMBIOSTable>(b.GetItemEntry(h)))
                tables.push_back(h);
        });
        ASSERT_GE(tables.size(), 2u);
        size_t fieldTable = 0;
        for (size_t t = 0; t < tables.size() && fieldName.empty(); ++t)
            for (HTREEITEM f : ChildItems(tree, tables[t])) {
                VDeviceInfo::SmartPtr<VDeviceInfo::ISMBIOSField> field(b.GetItemEntry(f));
                _value_t v = field->GetValue();
                // A number of the formatted area (Wine's firmware strings may all be empty).
                if (v.is_number() && field->GetLength() <= 4) {
                    tree.SelectItem(f);
                    PressSpace(tree);
                    fieldTable = t;
                    fieldName = field->GetName();
                    fieldOffset = field->GetOffset();
                    fieldHandle = field->GetHeader().Handle;
                    break;
                }
            }
        ASSERT_FALSE(fieldName.empty());
        HTREEITEM table = tables[fieldTable == 0 ? 1 : 0];
        ClickStateImage(tree, table);
        tableName = tree.GetItemText(table);
        EXPECT_TRUE(::IsWindowEnabled(b.GetDlgItem(IDOK)));
        EXPECT_TRUE(Click(b, IDOK));
    };
    presenter.OnDialog<dlgBrowseDevice>(IDD_BROWSE_DEVICE, [&](dlgBrowseDevice& b) {
        pick(b);
        if (!b.IsEnded())
            b.EndDialog(IDCANCEL);
    });
    CIChDataModel model;
    std::vector<std::wstring> paths;
    size_t tableAt = 2;
    RunBulk(
        3, presenter,
        [&](dlgAddResources& d) {
            Click(d, IDC_ADDRES_ADD);
            Click(d, IDOK);
        },
        [&](dlgAddResources&, CResourceOperationList& ops) {
            ASSERT_EQ(2u, ops.size());
            ModelWithJob(model);
            for (const SResourceOperation* op : ops) {
                if (op->nKind == dlgAddResources::KindSmbiosTable)
                    tableAt = paths.size();
                else
                    EXPECT_EQ(dlgAddResources::KindSmbiosField, op->nKind);
                paths.push_back(op->strPath);
                AddResource(model, *op);
            }
        });
    ASSERT_EQ(2u, paths.size());
    ASSERT_LT(tableAt, 2u);
    const size_t fieldAt = 1 - tableAt;
    EXPECT_EQ(0u, paths[tableAt].find(L"SMBIOS\\"));
    EXPECT_NE(std::wstring::npos, paths[tableAt].find(tableName));
    EXPECT_NE(std::wstring::npos, paths[fieldAt].rfind(L"\\" + fieldName));
    ASSERT_EQ(2u, model.GetNodeList(NodeTypeResource)->size());

    StoreOfModel store(model, L"smbios_store");
    std::vector<std::string> lines = store.List(L"bootsmbs", Varno::BootListSmbios);
    ASSERT_EQ(2u, lines.size());
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(0u, lines[i].find(as_string(paths[i], CP_UTF8) + "|")) << lines[i];
        EXPECT_EQ(std::string::npos, lines[i].find(VARNO_UNREADABLE_MARK));
    }
    // The store's validity check finds the same table and field.
    auto resources = store.db->GetResources();
    ASSERT_EQ(2, resources->GetCount());
    for (long i = 0; i < 2; ++i)
        EXPECT_EQ(1, IsStoredResourceValid(Varno::item_cast<Varno::IResource>(resources->GetAt(i))));
    // The field changed in the firmware: another check for the field.
    std::vector<BYTE> raw = VDeviceInfo::Common::ReadSystemSmbiosTable();
    std::vector<BYTE> changed = WithChangedByte(raw, fieldHandle, fieldOffset);
    ASSERT_NE(raw, changed);
    Varno::Common::SetSmbiosTable(changed.data(), changed.size());
    std::vector<std::string> after = store.List(L"bootsmbs", Varno::BootListSmbios);
    Varno::Common::SetSmbiosTable(nullptr, 0);
    ASSERT_EQ(2u, after.size());
    EXPECT_EQ(lines[tableAt], after[tableAt]); // the table checked is another one
    EXPECT_NE(lines[fieldAt], after[fieldAt]);
}

TEST(BulkToStore, SectorOfADiskImageGivesItsParametersAndItsLine) {
    ScopedSources sources;
    std::wstring image = TempPath(L"bulk.img");
    WriteNestedMbrImage(image);
    sources.Drives({VDeviceInfo::Common::ReadDiskImage(image, 1, 512)});
    KvTest::CScopedPresenter presenter;
    presenter.OnDialog<dlgBrowseDiskSector>(IDD_BROWSE_DISK_SECTOR, [&](dlgBrowseDiskSector& s) {
        ::ShowWindow(s.m_hWnd, SW_SHOW);
        CTreeCtrlEx& tree = s.GetTree();
        HTREEITEM disk = Child(tree, nullptr, L"PhysicalDrive1");
        HTREEITEM inner = Child(tree, Child(tree, disk, L"Extended"), L"Extended");
        tree.SelectItem(Child(tree, inner, L"EBR 2"));
        PressSpace(tree);
        EXPECT_TRUE(Click(s, IDOK));
    });
    CIChDataModel model;
    RunBulk(
        2, presenter,
        [&](dlgAddResources& d) {
            Click(d, IDC_ADDRES_ADD);
            EXPECT_EQ((std::vector<std::wstring>{L"Секторы дисков: PhysicalDrive1\\EBR 2|"}), OperationRows(d));
            Click(d, IDOK);
        },
        [&](dlgAddResources&, CResourceOperationList& ops) {
            ASSERT_EQ(1u, ops.size());
            EXPECT_EQ(1, ops.front()->params[L"DISK"].as_int());
            EXPECT_EQ(300, ops.front()->params[L"SECTOR"].as_int64());
            ModelWithJob(model);
            CIChResorce* r = AddResource(model, *ops.front());
            EXPECT_EQ(ResDiskSector, r->m_SubType);
        });
    StoreOfModel store(model, L"sector_store");
    std::vector<std::string> lines = store.List(L"bootsect", Varno::BootListDiskSectors);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(0u, lines[0].find("\\\\.\\PhysicalDrive1:300|")) << lines[0];
}

// A key under HKCU whose unnamed value holds "seeded" (made afresh).
bool SeedDefaultValue(const wchar_t* key) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key);
    HKEY h = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return false;
    const wchar_t data[] = L"seeded";
    ::RegSetValueExW(h, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof data);
    ::RegCloseKey(h);
    return true;
}

// The registry picker's value in token form becomes a registry value resource, the board's
// registry list names it, and the picker opens at it again from that path.
TEST(BulkToStore, RegistryDefaultValueThroughTheTokenIntoTheBoardList) {
    const wchar_t* key = L"Software\\KvPickerTests\\Seeded";
    ASSERT_TRUE(SeedDefaultValue(key));
    const std::wstring keyPath = L"HKEY_CURRENT_USER\\Software\\KvPickerTests\\Seeded";

    std::wstring path;
    {
        KvTest::CScopedPresenter presenter;
        presenter.OnDialog<dlgBrowseRegistry>(IDD_BROWSE_REGISTRY, [&](dlgBrowseRegistry& r) {
            HTREEITEM cur = r.GetRootItem();
            for (const wchar_t* part : {L"HKEY_CURRENT_USER", L"Software", L"KvPickerTests", L"Seeded"}) {
                cur = r.FindChild(cur, part);
                if (!cur) {
                    ADD_FAILURE() << "no item " << as_string(part, CP_UTF8);
                    r.EndDialog(IDCANCEL);
                    return;
                }
                r.GetTree().Expand(cur, TVE_EXPAND);
            }
            r.GetTree().SelectItem(r.FindChild(cur, L"(Default)"));
            EXPECT_TRUE(Click(r, IDOK));
        });
        dlgBrowseRegistry dlg(nullptr, L"Выбор переменной реестра", 1, &path);
        ASSERT_EQ(IDOK, dlg.DoModal());
    }
    EXPECT_EQ(keyPath + L"\\" + RegDefaultValueToken, path);

    CIChDataModel model;
    ModelWithJob(model);
    auto* r = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
    r->m_Id = model.TakeNextId(NodeTypeResource);
    r->SetSubType(ResRegValue);
    r->SetName(path);
    {
        StoreOfModel store(model, L"registry_store");
        std::vector<std::string> lines = store.List(L"bootreg", Varno::BootListRegistry);
        ASSERT_EQ(1u, lines.size());
        EXPECT_EQ(0u, lines[0].find(as_string(keyPath, CP_UTF8) + "\\")) << lines[0];
        EXPECT_EQ(std::string::npos, lines[0].find(VARNO_UNREADABLE_MARK));
    }

    // Opened again with the resource's path, the picker selects the value.
    KvTest::CScopedPresenter presenter;
    bool selected = false;
    presenter.OnDialog<dlgBrowseRegistry>(IDD_BROWSE_REGISTRY, [&](dlgBrowseRegistry& d) {
        HTREEITEM s = d.GetTree().GetSelectedItem();
        selected = s && d.GetItemMarker(s) == dlgBrowseRegistry::MarkerDefault;
        d.EndDialog(IDCANCEL);
    });
    std::wstring again = r->m_Name;
    dlgBrowseRegistry dlg(nullptr, nullptr, 1, &again);
    dlg.DoModal();
    EXPECT_TRUE(selected);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KvPickerTests");
}

// ---- the resource dialog's Browse ---------------------------------------------------------------

// Chooses a kind in the resource dialog's kind list as the user does.
void ChooseResourceKind(dlgResource& d, int kind) {
    HWND kinds = d.GetDlgItem(IDC_RES_KIND);
    int n = (int)::SendMessageW(kinds, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i)
        if ((int)::SendMessageW(kinds, CB_GETITEMDATA, i, 0) == kind) {
            ::SendMessageW(kinds, CB_SETCURSEL, i, 0);
            ::SendMessageW(d.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_RES_KIND, CBN_SELCHANGE), (LPARAM)kinds);
            return;
        }
    ADD_FAILURE() << "no kind " << kind;
}

// The resource dialog → the registry picker → a seeded "(Default)" value → its token text in the
// path field → the resource in the model → the store and the "bootreg" line; a second resource
// dialog's picker opens at the remembered value.
TEST(BulkToStore, ResourceDialogTakesARegistryValueFromThePicker) {
    const wchar_t* key = L"Software\\KvPickerTests\\Dialog";
    ASSERT_TRUE(SeedDefaultValue(key));
    const std::wstring keyPath = L"HKEY_CURRENT_USER\\Software\\KvPickerTests\\Dialog";
    g_app.DeleteProfileEntry(L"", L"RegistryDefaultKey");

    CIChDataModel model;
    ModelWithJob(model);
    auto* r = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
    r->m_Id = model.TakeNextId(NodeTypeResource);
    std::wstring shown;
    {
        KvTest::CScopedPresenter presenter;
        presenter.OnDialog<dlgBrowseRegistry>(IDD_BROWSE_REGISTRY, [&](dlgBrowseRegistry& b) {
            HTREEITEM cur = b.GetRootItem();
            for (const wchar_t* part : {L"HKEY_CURRENT_USER", L"Software", L"KvPickerTests", L"Dialog"}) {
                cur = cur ? b.FindChild(cur, part) : nullptr;
                if (cur)
                    b.GetTree().Expand(cur, TVE_EXPAND);
            }
            if (cur)
                b.GetTree().SelectItem(b.FindChild(cur, L"(Default)"));
            EXPECT_TRUE(Click(b, IDOK));
            if (!b.IsEnded())
                b.EndDialog(IDCANCEL);
        });
        presenter.OnDialog<dlgResource>(IDD_RESOURCE, [&](dlgResource& d) {
            ChooseResourceKind(d, ResRegValue);
            EXPECT_TRUE(Enabled(d, IDC_RES_BROWSE));
            Click(d, IDC_RES_BROWSE);
            shown = d.GetDlgItemText(IDC_RES_PATH);
            EXPECT_TRUE(Enabled(d, IDOK));
            Click(d, IDOK);
            if (!d.IsEnded())
                d.EndDialog(IDCANCEL);
        });
        dlgResource dlg(nullptr, r, 2);
        dlg.SetModel(&model);
        ASSERT_EQ(IDOK, dlg.DoModal());
        EXPECT_EQ((std::vector<UINT>{IDD_RESOURCE, IDD_BROWSE_REGISTRY}), presenter.Dialogs());
    }
    EXPECT_EQ(keyPath + L"\\" + RegDefaultValueToken, shown);
    EXPECT_EQ(ResRegValue, r->m_SubType);
    EXPECT_EQ(keyPath + L"\\" + RegDefaultValueToken, r->m_Name);
    {
        StoreOfModel store(model, L"dialog_store");
        std::vector<std::string> lines = store.List(L"bootreg", Varno::BootListRegistry);
        ASSERT_EQ(1u, lines.size());
        EXPECT_EQ(0u, lines[0].find(as_string(keyPath, CP_UTF8) + "\\")) << lines[0];
        EXPECT_EQ(std::string::npos, lines[0].find(VARNO_UNREADABLE_MARK));
    }

    // Another resource: its picker opens at the value remembered from the first pick.
    bool reselected = false;
    {
        KvTest::CScopedPresenter presenter;
        presenter.OnDialog<dlgBrowseRegistry>(IDD_BROWSE_REGISTRY, [&](dlgBrowseRegistry& b) {
            HTREEITEM s = b.GetTree().GetSelectedItem();
            reselected = s && b.GetItemMarker(s) == dlgBrowseRegistry::MarkerDefault &&
                         b.GetTree().GetItemText(b.GetTree().GetParentItem(s)) == L"Dialog";
            b.EndDialog(IDCANCEL);
        });
        presenter.OnDialog<dlgResource>(IDD_RESOURCE, [&](dlgResource& d) {
            ChooseResourceKind(d, ResRegValue);
            Click(d, IDC_RES_BROWSE);
            d.EndDialog(IDCANCEL);
        });
        CIChResorce other;
        dlgResource dlg(nullptr, &other, 2);
        dlg.SetModel(&model);
        dlg.DoModal();
    }
    EXPECT_TRUE(reselected);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key);
}

// "Обзор..." of the resource dialog for a disk sector and for a hardware entry: the picker's
// first pick gives the path and the parameters, and OK writes them into the resource.
TEST(BulkToStore, ResourceDialogTakesASectorAndAHardwareEntryFromThePickers) {
    ScopedSources sources;
    sources.Pci(TwoEqualAdaptersAndANetworkCard());
    sources.Smbios(BuiltSmbiosTable());
    std::wstring image = TempPath(L"resource_dialog.img");
    WriteNestedMbrImage(image);
    sources.Drives({VDeviceInfo::Common::ReadDiskImage(image, 1, 512)});
    CIChDataModel model;
    ModelWithJob(model);
    struct Case {
        int kind;           // the kind chosen in the dialog
        std::wstring path;  // the picked entry's path
        int subType;        // the resource's kind after OK
        std::wstring param; // a parameter written, with its value
        long long value;
    };
    const Case cases[] = {
        {ResDiskSector, L"PhysicalDrive1\\MBR", ResDiskSector, L"SECTOR", 0},
        {ResPciDevice, L"SMBIOS\\BIOS Information #0000", ResSmbiosTable, L"Table Type", 0},
        {ResPciDevice, L"PCI\\Видеоадаптеры\\Display #00010100", ResPciDevice, L"Bus Number", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        KvTest::CScopedPresenter presenter;
        presenter.OnDialog<dlgBrowseDiskSector>(IDD_BROWSE_DISK_SECTOR, [](dlgBrowseDiskSector& s) {
            CTreeCtrlEx& tree = s.GetTree();
            tree.SelectItem(Child(tree, Child(tree, nullptr, L"PhysicalDrive1"), L"MBR"));
            EXPECT_TRUE(Click(s, IDOK));
        });
        presenter.OnDialog<dlgBrowseDevice>(IDD_BROWSE_DEVICE, [&](dlgBrowseDevice& b) {
            b.ForEachItem([&](HTREEITEM h) {
                if (b.GetItemPath(h) == c.path)
                    b.GetTree().SelectItem(h);
            });
            EXPECT_TRUE(Click(b, IDOK));
        });
        auto* r = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
        r->m_Id = model.TakeNextId(NodeTypeResource);
        std::wstring shown;
        bool readOnly = false;
        presenter.OnDialog<dlgResource>(IDD_RESOURCE, [&](dlgResource& d) {
            ChooseResourceKind(d, c.kind);
            Click(d, IDC_RES_BROWSE);
            shown = d.GetDlgItemText(IDC_RES_PATH);
            readOnly = (::GetWindowLongW(d.GetDlgItem(IDC_RES_PATH), GWL_STYLE) & ES_READONLY) != 0;
            EXPECT_TRUE(Enabled(d, IDOK));
            Click(d, IDOK);
            if (!d.IsEnded())
                d.EndDialog(IDCANCEL);
        });
        dlgResource dlg(nullptr, r, 15);
        dlg.SetModel(&model);
        EXPECT_EQ(IDOK, dlg.DoModal());
        EXPECT_EQ(c.path, shown);
        EXPECT_TRUE(readOnly);
        EXPECT_EQ(c.subType, r->m_SubType);
        EXPECT_EQ(c.path, r->m_Name);
        EXPECT_EQ(c.value, r->GetParam(c.param).as_int64());
        if (c.kind == ResDiskSector)
            EXPECT_EQ(1, r->GetParam(L"DISK").as_int());
    }
}

// A file of the model written again with a path variable and in other case: refused with the
// message, the dialog stays open and the new resource is untouched.
TEST(BulkToStore, ResourceDialogRefusesADuplicateWrittenWithAPathVariable) {
    std::wstring file = LocalTempPath(L"Duplicate.exe");
    TouchFile(file);
    std::wstring folder = file.substr(0, file.find_last_of(L'\\'));
    CIChDataModel model;
    ModelWithJob(model);
    model.m_PathVars[folder] = L"%KVDUPDIR%"; // a value and its variable
    auto* present = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
    present->SetName(file);
    present->m_Id = model.TakeNextId(NodeTypeResource);
    CIChResorce fresh;
    KvTest::CScopedPresenter presenter;
    bool okEnabled = false, open = false;
    presenter.OnDialog<dlgResource>(IDD_RESOURCE, [&](dlgResource& d) {
        ::SetDlgItemTextW(d.m_hWnd, IDC_RES_PATH, L"%KVDUPDIR%\\DUPLICATE.EXE");
        okEnabled = Enabled(d, IDOK);
        Click(d, IDOK);
        open = !d.IsEnded();
        if (open)
            d.EndDialog(IDCANCEL);
    });
    dlgResource dlg(nullptr, &fresh, 1);
    dlg.SetModel(&model);
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_TRUE(okEnabled);
    EXPECT_TRUE(open);
    ASSERT_EQ(1u, presenter.Boxes().size());
    EXPECT_EQ(L"Такой ресурс уже присутствует в модели, выберите другой ресурс", presenter.Boxes()[0].text);
    EXPECT_TRUE(fresh.m_Name.empty());
}

} // namespace
