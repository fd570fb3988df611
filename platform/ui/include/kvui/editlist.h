// An editable list box: a caption with the buttons new, delete, up and down over a list of
// lines that the user edits in place. It takes the place of a placeholder control of a dialog
// template (same id, same rectangle).
#pragma once

#include "kvui/controls.h"

#include <string>
#include <vector>

namespace KvUi {

class CEditListBox : public CWnd {
public:
    enum Button { BtnNew, BtnDelete, BtnUp, BtnDown, BtnCount };
    // Command ids of the buttons inside the control.
    static constexpr UINT kButtonIds[BtnCount] = {101, 102, 103, 104};

    // Replaces the parent's control of that id (its text becomes the caption).
    BOOL CreateOver(CWnd* parent, UINT nID);
    BOOL Create(const std::wstring& caption, DWORD style, const RECT& rc, CWnd* parent, UINT nID);
    // Shows the four standard buttons (new, delete, up, down) in the caption strip.
    void SetStandardButtons();

    int GetCount() const;
    int AddItem(const std::wstring& text, int at = -1);
    BOOL RemoveItem(int i);
    void RemoveAll();
    std::wstring GetItemText(int i) const;
    BOOL SetItemText(int i, const std::wstring& text);
    int GetSelItem() const;
    BOOL SelectItem(int i);
    std::vector<std::wstring> GetItems() const;

    // The operations of the buttons (also Insert, Delete, F2 and Alt+Up/Down in the list).
    void CreateNewItem(); // appends an empty line and edits it; a line left empty goes again
    void DeleteSelected();
    void MoveSelected(int delta);
    // Starts editing a line in place; the editor window while it is open.
    HWND EditItem(int i);
    HWND GetEditControl() const;
    // Ends the editing now (committed, or cancelled).
    void EndEditItem(BOOL bCommit = TRUE);

    CListCtrl& GetList() { return m_list; }
    HWND GetButton(Button b) const { return m_hButtons[b]; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) override;
    void Layout();
    void UpdateButtons();
    CListCtrl m_list;
    HWND m_hCaption = nullptr;
    HWND m_hButtons[BtnCount] = {};
    HWND m_hTip = nullptr;
    HFONT m_hSymbolFont = nullptr;
    bool m_bButtons = false;
    int m_newItem = -1; // the line made by "new" while its first edit runs
};

} // namespace KvUi
