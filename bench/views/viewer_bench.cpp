// viewer_bench [rows]
// The resource viewer of the main window over a model of that many file resources: filling it
// from the resource folder (until the first page is painted), sorting by name, by time and by type
// and back to the fill order, selecting all rows, and a search that finds the last row; each time
// also as a ratio to filling a plain list with the same rows' seven texts.
#include "BenchHost.h"
#include "IChDataModel.h"
#include "IChFolder.h"
#include "ListViewers.h"
#include "MainViewer.h"

#include <cstdio>
#include <string>

namespace {

void Paint(HWND w) {
    ::RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    KvUi::PumpWaitingMessages();
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int count = BenchCount(argc, argv);
    ::InitCommonControls();
    CIChDataModel model;
    unsigned seed = 12345;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        CIChResorce* r = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
        r->SetSubType(i % 7 == 0 ? ResDirectory : ResFile);
        wchar_t name[96];
        swprintf(name, 96, L"C:\\Windows\\System32\\dir%03u\\file%08u.dll", seed % 500u, seed % 100000000u);
        r->SetName(name);
        r->m_Id = model.TakeNextId(NodeTypeResource);
        r->m_Controlled = (seed >> 4) & 1;
        r->m_Valid = 1;
        FILETIME t = {seed, 0x01D9A000u + (seed >> 20)};
        r->SetModifyTime(&t);
    }
    CBenchHost host;
    host.m_pModel = &model;
    host.m_nCategory = 7100;
    KvUi::CWnd frame;
    frame.CreateEx(0, KvUi::DefaultWndClass(), L"viewer_bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900, 700,
                   nullptr, nullptr);
    CRGroupViewer probe; // the texts of the rows, as the viewer shows them
    probe.SetHost(&host);

    // The plain list with the same seven texts per row.
    KvUi::CListCtrl plain;
    RECT rc = {0, 0, 880, 660};
    plain.Create(WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, rc, &frame, 1);
    const wchar_t* headings[7] = {L"Имя", L"Изменен", L"Путь", L"Тип", L"Контроль", L"Выполняемый", L"Группы"};
    for (int c = 0; c < 7; ++c)
        plain.InsertColumn(c, headings[c], LVCFMT_LEFT, 100);
    double t = Now();
    plain.SetRedraw(FALSE);
    int i = 0;
    for (CIChNode* n : model.m_Resources) {
        const CIChResorce* r = static_cast<const CIChResorce*>(n);
        int row = plain.InsertItem(i++, CRGroupViewer::PlainName(r), (LPARAM)n);
        plain.SetItemText(row, 1, CIChViewNode::TimeText(r->m_ModifyTime));
        plain.SetItemText(row, 2, r->m_Path);
        plain.SetItemText(row, 3, CRGroupViewer::TypeText(r->m_SubType));
        plain.SetItemText(row, 4, r->m_Controlled ? L"ДА" : L"нет");
        plain.SetItemText(row, 5, r->m_Executable ? L"ДА" : L"нет");
        plain.SetItemText(row, 6, std::to_wstring(r->m_Uppers.size()));
    }
    plain.SetRedraw(TRUE);
    Paint(frame.m_hWnd);
    const double plainFill = Now() - t;
    plain.DestroyWindow();

    // The list control alone: an owner-data list of as many rows under a window that answers none
    // of its notifications (a static's default procedure). Selecting all of it and clearing the
    // selection again is the control's own share of the work.
    HWND bareHost = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 880, 660, frame.m_hWnd, nullptr,
                                      nullptr, nullptr);
    HWND bare =
        ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS,
                          0, 0, 880, 660, bareHost, nullptr, nullptr, nullptr);
    LVCOLUMNW bareColumn = {};
    bareColumn.mask = LVCF_WIDTH;
    bareColumn.cx = 200;
    ::SendMessageW(bare, LVM_INSERTCOLUMNW, 0, (LPARAM)&bareColumn);
    ListView_SetItemCountEx(bare, count, 0);
    auto bareState = [&](UINT state) {
        double start = Now();
        ::SendMessageW(bare, WM_SETREDRAW, FALSE, 0);
        LVITEMW it = {};
        it.state = state;
        it.stateMask = LVIS_SELECTED;
        ::SendMessageW(bare, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&it);
        ::SendMessageW(bare, WM_SETREDRAW, TRUE, 0);
        return Now() - start;
    };
    const double bareSelectAll = bareState(LVIS_SELECTED);
    const int bareSelected = ListView_GetSelectedCount(bare);
    const double bareClear = bareState(0);
    ::DestroyWindow(bareHost);

    // The viewer in its pane.
    CIChMainViewer pane;
    pane.CreateViewer(&frame, &host);
    ::MoveWindow(pane.m_hWnd, 0, 0, 880, 660, TRUE);
    CIChFolder folder(FolderResources, 0);
    CIChViewNode* list = dynamic_cast<CIChViewNode*>(pane.GetViewer(FolderResources));
    list->ResetSort();
    t = Now();
    pane.ShowNode(&folder);
    Paint(frame.m_hWnd);
    const double fill = Now() - t;
    auto timed = [&](auto&& work) {
        double start = Now();
        work();
        Paint(frame.m_hWnd);
        return Now() - start;
    };
    const double sortName = timed([&] { list->Sort(0, TRUE); });
    const double sortNameDown = timed([&] { list->Sort(0, FALSE); });
    const double sortTime = timed([&] { list->Sort(1, TRUE); });
    const double sortType = timed([&] { list->Sort(3, TRUE); });
    const double natural = timed([&] {
        list->Sort(-1, TRUE);
        list->Refill(nullptr);
    });
    const double selectAll = timed([&] { list->SelectAll(); });
    const int selectedAll = list->GetSelectedCount();
    const double refillSelected = timed([&] { list->Refill(nullptr); });
    list->SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    list->SetSelectionMark(-1);
    list->m_find.columns = {{L"Имя", 0, 1, 150}, {L"Изменен", 1, 1, 121}, {L"Путь", 2, 1, 230}};
    list->m_find.text = list->GetItemText(list->GetItemCount() - 1, 0);
    list->m_find.wholeValue = 1;
    int found = -1;
    const double find = timed([&] { found = list->Search(); });

    std::printf("rows: %d\n", count);
    std::printf("plain list fill (7 texts per row): %.3f s\n", plainFill);
    auto line = [&](const char* what, double s) {
        std::printf("%-34s %.3f s  ratio %.4f\n", what, s, plainFill > 0 ? s / plainFill : 0.0);
    };
    line("viewer fill (to the first page)", fill);
    line("sort by name (locale order)", sortName);
    line("sort by name, descending", sortNameDown);
    line("sort by time", sortTime);
    line("sort by type", sortType);
    line("back to the fill order", natural);
    line("select all", selectAll);
    line("select all, the list control alone", bareSelectAll);
    line("clear all, the list control alone", bareClear);
    line("refill keeping all selected", refillSelected);
    line("find (last row, any column)", find);
    std::printf("found row %d of %d\n", found, list->GetItemCount());
    std::printf("selected rows: viewer %d, list control alone %d\n", selectedAll, bareSelected);
    std::printf("viewer fill under a second: %s\n", fill < 1.0 ? "yes" : "NO");
    pane.DestroyWindow();
    frame.DestroyWindow();
    return 0;
}
