#include "AboutDlg.h"

#include "DaVIdevaRez.h"

#include "resource.h"

#include <valkit.h>

#include <shellapi.h>

KV_BEGIN_MESSAGE_MAP(CAboutDlg, KvUi::CDialog)
ON_NOTIFY(NM_CLICK, IDC_ABOUT_SITE, OnLinkClick)
ON_NOTIFY(NM_RETURN, IDC_ABOUT_SITE, OnLinkClick)
ON_NOTIFY(NM_CLICK, IDC_ABOUT_MAIL, OnLinkClick)
ON_NOTIFY(NM_RETURN, IDC_ABOUT_MAIL, OnLinkClick)
KV_END_MESSAGE_MAP()

CAboutDlg::CAboutDlg() : KvUi::CDialog(IDD_ABOUTBOX, KvUi::AfxGetMainWnd()) {}

std::wstring CAboutDlg::BuildInfoText(const std::wstring& hardware, const std::wstring& folder, wchar_t boardLetter) {
    std::wstring version = format_wstring(L"%d.%d.%d", 2, 0, 88);
    std::wstring path = folder;
    if (!folder.empty() && boardLetter) {
        wchar_t windowsLetter[2] = {folder[0], 0};
        wchar_t board[2] = {boardLetter, 0};
        if (strupper(windowsLetter) != strupper(board)) {
            path = format_wstring(KvUi::LoadStr(IDS_ABOUT_TWO_PATHS).c_str(), folder.c_str(), folder.c_str());
            path[path.size() - folder.size()] = boardLetter;
        }
    }
    return format_wstring(KvUi::LoadStr(IDS_ABOUT_INFO).c_str(), version.c_str(), hardware.c_str(), path.c_str());
}

BOOL CAboutDlg::OnInitDialog() {
    KvUi::CWaitCursor wait;
    KvUi::CDialog::OnInitDialog();
    std::wstring hardware = KvUi::LoadStr(IDS_ABOUT_NO_BOARD);
    std::wstring bios;
    if (QueryBoardBiosVersion(bios))
        hardware = KvUi::LoadStr(IDS_ABOUT_BOARD) + bios;
    std::wstring folder = theApp.GetStoreFolder();
    wchar_t boardLetter = 0;
    if (!folder.empty()) {
        wchar_t answer = 0;
        if (theApp.Outside().GetVarnoDriveLetter(folder[0], &answer))
            boardLetter = answer;
    }
    SetDlgItemText(IDC_ABOUT_TEXT, BuildInfoText(hardware, folder, boardLetter));
    return TRUE;
}

void CAboutDlg::OnLinkClick(NMHDR* hdr, LRESULT* result) {
    NMLINK* link = reinterpret_cast<NMLINK*>(hdr);
    if (link->item.szUrl[0])
        ::ShellExecuteW(m_hWnd, L"open", link->item.szUrl, nullptr, nullptr, SW_SHOWNORMAL);
    *result = 0;
}
