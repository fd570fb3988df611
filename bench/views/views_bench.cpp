// views_bench [rows]
// An owner-data list (rows kept by the program, shown through the list's row source) against a
// plain list that holds its own copies of the same rows: filling (until the first page is
// painted), sorting by a text column both ways, and finding rows by their data and by a text
// prefix. Every time is also given as a ratio to filling the plain list.
#include "BenchClock.h"
#include "kvui/kvui.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace KvUi;

namespace {

const int kColumns = 4;

class CRows : public IListRowSource {
public:
    std::vector<std::wstring> cells; // row-major
    int count = 0;
    int GetRowCount() const override { return count; }
    std::wstring_view GetCellText(int row, int column) const override { return cells[(size_t)row * kColumns + column]; }
    LPARAM GetRowData(int row) const override { return row; }
};

// The plain list compares the texts it holds in the same order as the row source does.
class CPlainList : public CListCtrl {
public:
    const CRows* m_pRows = nullptr;
    int OnCompareItems(LPARAM a, LPARAM b, int column) override { return m_pRows->CompareRows((int)a, (int)b, column); }
};

void Paint(CWnd& w) {
    ::RedrawWindow(w.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    PumpWaitingMessages();
}

void Columns(CListCtrl& list) {
    const wchar_t* names[kColumns] = {L"Имя", L"Путь", L"Размер", L"Описание"};
    for (int c = 0; c < kColumns; ++c)
        list.InsertColumn(c, names[c], LVCFMT_LEFT, 150);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int count = BenchCount(argc, argv);
    ::InitCommonControls();
    CRows rows;
    rows.count = count;
    rows.cells.reserve((size_t)count * kColumns);
    unsigned seed = 12345;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        wchar_t name[32];
        swprintf(name, 32, L"file%08u.dll", seed % 100000000u);
        rows.cells.push_back(name);
        rows.cells.push_back(L"C:\\Windows\\System32\\drivers\\" + std::wstring(name));
        rows.cells.push_back(std::to_wstring((seed >> 8) % 1000000));
        rows.cells.push_back(L"Описание модуля " + std::to_wstring(i));
    }
    CWnd host;
    host.CreateEx(0, DefaultWndClass(), L"views_bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900, 700, nullptr,
                  nullptr);
    RECT rc = {0, 0, 880, 660};

    // The plain list.
    CPlainList plain;
    plain.m_pRows = &rows;
    plain.Create(WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, rc, &host, 1);
    Columns(plain);
    double t = Now();
    plain.SetRedraw(FALSE);
    for (int i = 0; i < count; ++i) {
        int row = plain.InsertItem(i, std::wstring(rows.GetCellText(i, 0)), (LPARAM)i);
        for (int c = 1; c < kColumns; ++c)
            plain.SetItemText(row, c, std::wstring(rows.GetCellText(i, c)));
    }
    plain.SetRedraw(TRUE);
    Paint(host);
    double plainFill = Now() - t;
    t = Now();
    plain.Sort(1, TRUE);
    Paint(host);
    double plainSortUp = Now() - t;
    t = Now();
    plain.Sort(1, FALSE);
    Paint(host);
    double plainSortDown = Now() - t;
    const int finds = 1000;
    t = Now();
    int found = 0;
    for (int k = 0; k < finds; ++k)
        found += plain.FindItem((LPARAM)((k * 7919) % count)) >= 0;
    double plainFind = Now() - t;
    plain.DestroyWindow();

    // The owner-data list.
    CListCtrl owner;
    owner.Create(WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, rc, &host, 2);
    Columns(owner);
    t = Now();
    owner.SetRowSource(&rows);
    Paint(host);
    double ownerFill = Now() - t;
    t = Now();
    owner.Sort(1, TRUE);
    Paint(host);
    double ownerSortUp = Now() - t;
    t = Now();
    owner.Sort(1, FALSE);
    Paint(host);
    double ownerSortDown = Now() - t;
    t = Now();
    int ownerFound = 0;
    for (int k = 0; k < finds; ++k)
        ownerFound += owner.FindItem((LPARAM)((k * 7919) % count)) >= 0;
    double ownerFind = Now() - t;
    // Type-ahead through the control (it asks the list for each candidate row).
    const int prefixFinds = 100;
    t = Now();
    int prefixFound = 0;
    for (int k = 0; k < prefixFinds; ++k) {
        std::wstring prefix(rows.GetCellText((k * 104729) % count, 0).substr(0, 10));
        LVFINDINFOW fi = {};
        fi.flags = LVFI_PARTIAL | LVFI_STRING | LVFI_WRAP;
        fi.psz = prefix.c_str();
        prefixFound += owner.SendMessage(LVM_FINDITEMW, (WPARAM)-1, (LPARAM)&fi) >= 0;
    }
    double ownerPrefix = Now() - t;
    bool whole = owner.GetItemCount() == count && found == finds && ownerFound == finds && prefixFound == prefixFinds;

    auto line = [&](const wchar_t* what, double s) {
        wprintf(L"%-44ls %10.1f ms   %8.4f x plain fill\n", what, s * 1000.0, s / plainFill);
    };
    wprintf(L"rows: %d, columns: %d\n", count, kColumns);
    line(L"plain list: fill (insert every cell)", plainFill);
    line(L"plain list: sort by path, ascending", plainSortUp);
    line(L"plain list: sort by path, descending", plainSortDown);
    line(L"plain list: 1000 finds by data", plainFind);
    line(L"owner data: fill (row source, first page)", ownerFill);
    line(L"owner data: sort by path, ascending", ownerSortUp);
    line(L"owner data: sort by path, descending", ownerSortDown);
    line(L"owner data: 1000 finds by data", ownerFind);
    line(L"owner data: 100 prefix finds by the control", ownerPrefix);
    wprintf(L"all rows shown and found: %ls\n", whole ? L"yes" : L"NO");
    owner.DestroyWindow();
    host.DestroyWindow();
    return whole ? 0 : 1;
}
