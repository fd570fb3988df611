// The group and task dialog: names a new resource group or task, or shows and edits the name and
// description of an existing one; a group without members also gets its kind here. A node with a
// negative ID is shown read-only: nothing can be changed and Enter closes the dialog.
#pragma once

#include "IChNode.h"

#include <kvui/kvui.h>

class dlgGroupTask : public KvUi::CDialog {
public:
    dlgGroupTask(KvUi::CWnd* parent, CIChNode* node);

    BOOL OnInitDialog() override;
    void OnOK() override;

    bool IsCreateMode() const { return m_bCreate; }
    bool IsReadOnly() const { return m_bReadOnly; }
    bool IsGroup() const { return m_bGroup; }

    // The group kinds in the order of the kind list (the index is the group's SubType).
    static const UINT kGroupKinds[4]; // string ids
    // Pixels by which a group's dialog grows for its kind list.
    static constexpr int kGroupGrowth = 32;

protected:
    void OnNameChange();

    CIChNode* m_pNode;
    bool m_bGroup;
    bool m_bCreate;
    bool m_bReadOnly;

    KV_DECLARE_MESSAGE_MAP()
};

// The longest name a group, task or job is given here: renaming in the structure tree stops at the
// same length.
constexpr int kNodeNameLimit = 40;
// Limits a name edit to kNodeNameLimit characters (a longer name shown in it is cut to the limit
// only when the user edits it).
void LimitNodeNameEdit(KvUi::CDialog& dlg, int id);
// The name of a name edit without leading and trailing blanks: empty for a name of blanks only,
// which is refused as an empty one is.
std::wstring NodeNameOfEdit(const KvUi::CDialog& dlg, int id);

// Shows a dialog of a node that must not change: its edits read-only, OK hidden and disabled,
// Cancel relabelled "Закрыть".
void MakeDialogReadOnly(KvUi::CDialog& dlg, const int* edits, int count);
// Moves a child control by dx, dy pixels and grows it by dw, dh.
void ShiftControl(HWND dialog, int id, int dx, int dy, int dw, int dh);
