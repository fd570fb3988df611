// A property list: rows of a label and a value in two columns ("parameters", "values"), a
// description area under them, and an in-place editor for the current row. Values are yes/no
// choices or colours (with an automatic default and "Другой..." through the presenter), or
// read-only texts; group rows (bold) hold the rows under them.
#pragma once

#include "kvui/controls.h"
#include "kvui/core.h"
#include "kvui/ids.h"

#include <memory>
#include <string>
#include <vector>

namespace KvUi {

class CPropList;

class CProp {
public:
    enum Kind { Bool, Color, Text, Group };
    // A read-only row of a name and a text value.
    static std::unique_ptr<CProp> MakeText(const std::wstring& name, const std::wstring& value,
                                           const std::wstring& description = std::wstring());
    // A group row; its rows follow it in the list.
    static std::unique_ptr<CProp> MakeGroup(const std::wstring& name);
    // A yes/no property.
    CProp(const std::wstring& name, bool value, const std::wstring& description);
    // A colour property; its automatic button stands for the default colour.
    CProp(const std::wstring& name, COLORREF value, const std::wstring& description, COLORREF automatic,
          const std::wstring& autoText, const std::wstring& otherText);

    Kind GetKind() const { return m_kind; }
    bool IsReadOnly() const { return m_kind == Text || m_kind == Group; }
    // Rows of a group (added before the group joins a list).
    CProp* AddSubItem(std::unique_ptr<CProp> prop);
    int GetSubItemsCount() const { return (int)m_children.size(); }
    CProp* GetSubItem(int i) const { return i >= 0 && i < (int)m_children.size() ? m_children[i].get() : nullptr; }
    const std::wstring& GetText() const { return m_text; }
    const std::wstring& GetName() const { return m_name; }
    const std::wstring& GetDescription() const { return m_description; }
    bool GetBool() const { return m_bool; }
    void SetBool(bool b) { m_bool = b; }
    // The colour, or (COLORREF)-1 when the automatic button is chosen.
    COLORREF GetColor() const { return m_color; }
    void SetColor(COLORREF c) { m_color = c; }
    COLORREF GetAutomaticColor() const { return m_automatic; }
    std::wstring ValueText(const CPropList& list) const;

private:
    friend class CPropList;
    Kind m_kind;
    std::wstring m_name;
    std::wstring m_description;
    bool m_bool = false;
    COLORREF m_color = 0;
    COLORREF m_automatic = 0;
    std::wstring m_autoText;
    std::wstring m_otherText;
    std::wstring m_text;
    std::vector<std::unique_ptr<CProp>> m_children;
    CProp(Kind kind, const std::wstring& name) : m_kind(kind), m_name(name) {}
};

class CPropList : public CWnd {
public:
    CPropList() = default;
    ~CPropList() override;

    BOOL Create(DWORD style, const RECT& rc, CWnd* parent, UINT nID);
    void SetHeaders(const std::wstring& nameHeader, const std::wstring& valueHeader);
    void SetBoolLabels(const std::wstring& yes, const std::wstring& no);
    const std::wstring& TrueLabel() const { return m_yes; }
    const std::wstring& FalseLabel() const { return m_no; }

    // Adds a row (a group with the rows under it); the result is the row's index.
    int AddProperty(std::unique_ptr<CProp> prop);
    // Every row, groups and their rows included, in the order shown.
    int GetPropertyCount() const { return (int)m_rows.size(); }
    CProp* GetProperty(int i) const { return i >= 0 && i < (int)m_rows.size() ? m_rows[i] : nullptr; }
    // Empties the list.
    void RemoveAll();
    void SetCurSel(int i);
    int GetCurSel() const { return m_cur; }

    // In-place editing of the current property: the editor offers the property's choices
    // (yes/no; automatic, the current colour, "Другой...").
    BOOL EditItem(int i);
    BOOL IsEditing() const { return m_editing >= 0; }
    // The editor's choice index (for tests and keyboard users).
    BOOL SetEditorChoice(int choice);
    // Takes the editor's value into the property (bCommit) or drops it; closes the editor.
    void EndEditItem(BOOL bCommit = TRUE);
    std::wstring GetDescriptionText() const;

protected:
    void OnSize(UINT type, int cx, int cy);
    void OnSetFocus(HWND old);
    void OnListItemChanged(NMHDR* hdr, LRESULT* result);
    void OnListClick(NMHDR* hdr, LRESULT* result);
    void OnListKeyDown(NMHDR* hdr, LRESULT* result);
    void OnListCustomDraw(NMHDR* hdr, LRESULT* result);
    void OnEditorSelChange();
    void OnEditorKillFocus();
    void Layout();
    void RefreshRow(int i);
    void ShowDescription();
    void ApplyChoice(CProp& p, int choice);

    CListCtrl m_list;
    CComboBox m_editor;
    CStatic m_desc;
    HFONT m_hFont = nullptr;
    std::vector<std::unique_ptr<CProp>> m_props; // the rows added, owned
    std::vector<CProp*> m_rows;                  // the rows shown
    HFONT m_hBold = nullptr;
    void InsertRow(CProp* p, int indent);
    std::wstring m_yes = LayerText(KVUI_IDS_YES);
    std::wstring m_no = LayerText(KVUI_IDS_NO);
    int m_cur = -1;
    int m_editing = -1;
    bool m_pendBool = false;
    COLORREF m_pendColor = 0;
    KV_DECLARE_MESSAGE_MAP()
};

} // namespace KvUi
