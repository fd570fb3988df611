// A static splitter (a grid of panes with bars between them that the user drags) and a host
// frame that carries a splitter inside a dialog. Panes are windows the caller creates as
// children of the splitter with the id IdFromRowCol(row, column).
#pragma once

#include "kvui/core.h"
#include "kvui/frame.h"

#include <string>
#include <vector>

namespace KvUi {

// Registers (once per set of values) a window class of the default window procedure for the
// layer's windows and gives its name.
std::wstring RegisterWndClass(UINT style, HCURSOR cursor = nullptr, HBRUSH background = nullptr, HICON icon = nullptr);

// A window between a dialog and its controls: its children's notifications and commands go on
// to its parent, whose handling (reflection to the control included) takes them.
class CPassOnWnd : public CWnd {
protected:
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) override;
    BOOL OnCommand(WPARAM wp, LPARAM lp) override;
};

class CSplitterWnd : public CPassOnWnd {
public:
    static constexpr int kBar = 5; // width of a split bar

    BOOL CreateStatic(CWnd* parent, int rows, int columns, DWORD style = WS_CHILD | WS_VISIBLE,
                      UINT nID = AFX_IDW_PANE_FIRST);
    static UINT IdFromRowCol(int row, int column) { return AFX_IDW_PANE_FIRST + row * 16 + column; }
    HWND GetPane(int row, int column) const { return ::GetDlgItem(m_hWnd, IdFromRowCol(row, column)); }
    int GetRowCount() const { return (int)m_rows.size(); }
    int GetColumnCount() const { return (int)m_cols.size(); }
    // Ideal size and minimum of a column or row; RecalcLayout applies them.
    void SetColumnInfo(int column, int ideal, int minimum);
    void SetRowInfo(int row, int ideal, int minimum);
    void GetColumnInfo(int column, int& current, int& minimum) const;
    void GetRowInfo(int row, int& current, int& minimum) const;
    // Places the panes: each column (row) its ideal size, the last one what remains.
    void RecalcLayout();

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    // The bar under a point: column bar index (>= 0), row bar index encoded as -2 - i, or -1.
    int BarFromPoint(POINT pt) const;
    struct Info {
        int ideal = 0;
        int minimum = 0;
        int current = 0;
    };
    std::vector<Info> m_rows, m_cols;
    int m_dragBar = -1;
    POINT m_dragStart = {};
    int m_dragIdeal = 0;
};

// A frame window inside a dialog that holds one child (a splitter) over its whole client area
// and passes its children's notifications and commands to the dialog.
class CHostFrame : public CPassOnWnd {
public:
    // className: a class from RegisterWndClass (null: the layer's own class).
    BOOL Create(const wchar_t* className, CWnd* parent, const RECT& rc, UINT nID = 0);
    // The child that fills the frame.
    void SetContent(HWND content);
    HWND GetContent() const { return m_hContent; }
    void RecalcLayout();

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    HWND m_hContent = nullptr;
};

} // namespace KvUi
