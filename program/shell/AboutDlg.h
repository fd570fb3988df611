// The About box: program version, the board's BIOS version and the folder of the templates.
#pragma once

#include <kvui/kvui.h>

#include <string>

class CAboutDlg : public KvUi::CDialog {
public:
    CAboutDlg();
    BOOL OnInitDialog() override;
    // The information text of control 1258 (for the board folder and letter given).
    static std::wstring BuildInfoText(const std::wstring& hardware, const std::wstring& folder, wchar_t boardLetter);

protected:
    void OnLinkClick(NMHDR* hdr, LRESULT* result);
    KV_DECLARE_MESSAGE_MAP()
};
