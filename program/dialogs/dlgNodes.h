// The dialogs of the link and delete commands: dlgAddNodes offers the model's nodes that may be
// linked under a node and returns those chosen; dlgDeleteNodes shows what the nodes to delete
// belong to and hold, and asks whether to go on (and whether their subordinates go too).
#pragma once

#include "IChDataModel.h"
#include "NodeImageList.h"

#include <kvui/kvui.h>

class CAddNodesList : public KvUi::CListCtrl {
public:
    CAddNodesList(CIChNode* selected, CIChNodeList* output) : m_pSelected(selected), m_pOutput(output) {}
    // Compares two rows' nodes by a column: names (case-sensitive), numbers of upper links,
    // resources' containers.
    static int CompareNodes(const CIChNode* a, const CIChNode* b, int column);
    void SortByColumn(int column);
    CNodeImageList m_Images;

protected:
    friend class dlgAddNodes;
    CIChNode* m_pSelected;
    CIChNodeList* m_pOutput;
};

class dlgAddNodes : public KvUi::CDialog {
public:
    // The model comes from the parent when it is the program's main window; SetModel gives another.
    dlgAddNodes(KvUi::CWnd* parent, CIChNode* selected, CIChNodeList* output);
    void SetModel(CIChDataModel* model) { m_pModel = model; }

    BOOL OnInitDialog() override;
    void OnOK() override;

    // The candidates for the node in the order the dialog lists them before sorting.
    static void CollectCandidates(const CIChDataModel& model, CIChNode* selected, CIChNodeList& out);
    // Pixels by which the dialog and its list grow for a group (the path column).
    static constexpr int kGroupGrowth = 300;
    CAddNodesList& GetList() { return m_wndList; }

protected:
    BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* pResult) override;
    void OnSelectAll();
    void UpdateSelectionState();

    CIChDataModel* m_pModel = nullptr;
    CIChNode* m_pSelected;
    CIChNodeList* m_pOutput;
    CAddNodesList m_wndList;
    bool m_bSelecting = false;

    KV_DECLARE_MESSAGE_MAP()
};

class dlgDeleteNodes : public KvUi::CDialog {
public:
    dlgDeleteNodes(KvUi::CWnd* parent, CIChNodeList* nodes);
    BOOL OnInitDialog() override;

    // The title for the nodes ("Удаление задачи (T)", "Удаление выбранных ресурсов", ...).
    static std::wstring MakeTitle(const CIChNodeList& nodes);
    // Sets a list box's horizontal extent to its widest line.
    static void FitListBoxExtent(HWND listBox);

    int m_bDeleteSubordinates = 0;

protected:
    void OnSubordinatesClicked();
    CIChNodeList* m_pNodes;

    KV_DECLARE_MESSAGE_MAP()
};
