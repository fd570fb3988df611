// The list viewers of the right-hand pane: the common viewer CIChViewNode (bold rows for objects
// of another workstation, error rows, the context menus of rows and folders, activation, the
// enabling of the list variants of the object commands) and the five viewers, each named after
// the kind of the object whose members it lists: CRGroupViewer (resources), CTaskViewer (groups),
// CJobViewer (tasks and groups), CSubjectViewer (jobs) and CASubjViewer (all subjects).
#pragma once

#include "IChList.h"
#include "MainViewer.h"

class CIChViewNode : public CIChList, public CIChViewer {
public:
    int Create(KvUi::CWnd* parent) override = 0;
    void Fill(CIChNode* node) override { Refill(node); }
    void Refresh(CIChNode* node) override { Refill(node); }
    void Clear() override { CIChList::Clear(); }
    HWND GetWnd() override { return m_hWnd; }
    KvUi::CCmdTarget* GetCmdTarget() override { return static_cast<CIChList*>(this); }
    int GetSelectedNodes(CIChNodeList& list) override;
    int UpdateItem(CIChNode*) override { return 1; }
    // The context menu as it would open now: its resource id (0: none) and whether its command
    // ids are the list variants (id + 1).
    int GetContextMenuId() override;
    // Loads the menu and rewrites its ids for the selected rows (null: no menu).
    HMENU MakeContextMenu();
    // The columns every viewer shows alike.
    enum Field { None, Name, Time, Description, Uppers, Members };

protected:
    int CreateList(KvUi::CWnd* parent, int id);
    struct ColumnSpec {
        UINT heading; // string id
        int width;
        int fmt = LVCFMT_LEFT;
    };
    void AddColumns(const ColumnSpec* columns, int count);
    // The rows of a folder of allKind (the model's list of its objects) or of a node of memberKind
    // (its members); 1 for a node of neither kind.
    int FillAllOrMembers(CIChNode* data, int allKind, int memberKind);
    static void CommonText(const CIChNode* node, Field field, std::wstring& text);
    static void CommonKey(const CIChNode* node, Field field, CListSortKey& key);
    // UpdateItem of the viewers: 1 when the node is not of the row kind, 2 without a row, else 0.
    int UpdateRow(CIChNode* node, bool accepted);
    int IsItemBold(CIChNode* node) override { return node->m_Id < 0; }
    int IsErrorItem(CIChNode* node, int) override { return node->GetUsageState() != UsageInUse; }
    int OnItemActivate(int item, int byTimer) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    // Update handlers of the list variants.
    CIChNode* First() const;
    bool Handled(UINT id);
    void OnUpdateListCommand(KvUi::CCmdUI* pCmdUI);
    void OnSelectAll();
    void OnUpdateSelectAll(KvUi::CCmdUI* pCmdUI);
    // Whether the list variant is enabled now (its check mark in check).
    bool IsCommandEnabled(UINT id, int* check);

public:
    // A modification time as the lists show it (local time).
    static std::wstring TimeText(const FILETIME& t);

protected:
    static void TimeKey(const FILETIME& t, CListSortKey& key);
    KV_DECLARE_MESSAGE_MAP()
};

class CRGroupViewer : public CIChViewNode {
public:
    int Create(KvUi::CWnd* parent) override;
    int UpdateItem(CIChNode* node) override;
    // A resource's name and full path with the registry value tokens in plain form.
    static std::wstring PlainName(const CIChResorce* r);
    static std::wstring PlainPath(const CIChResorce* r);
    static const wchar_t* TypeText(int subType);

protected:
    void InsertColumns() override;
    int FillItems(CIChNode* data) override;
    void GetNodeText(CIChNode* node, int column, std::wstring& text) override;
    void GetSortKey(CIChNode* node, int column, CListSortKey& key) override;
    int IsUncontrolledItem(CIChNode* node, int) override;
    int IsExistingItem(CIChNode* node, int) override;
    int GetItemTip(CIChNode* node, std::wstring& text) override;
};

class CTaskViewer : public CIChViewNode {
public:
    int Create(KvUi::CWnd* parent) override;
    int UpdateItem(CIChNode* node) override;

protected:
    void InsertColumns() override;
    int FillItems(CIChNode* data) override;
    void GetNodeText(CIChNode* node, int column, std::wstring& text) override;
    void GetSortKey(CIChNode* node, int column, CListSortKey& key) override;
};

// The job list and the subject's job list share their rows' texts and comparisons.
class CJobViewer : public CIChViewNode {
public:
    CJobViewer() : CJobViewer(204, 6, 7) {}
    int Create(KvUi::CWnd* parent) override;
    int UpdateItem(CIChNode* node) override;

protected:
    CJobViewer(int listId, int allKind, int memberKind)
        : m_nOwnId(listId), m_nAllKind(allKind), m_nMemberKind(memberKind) {}
    void InsertColumns() override;
    int FillItems(CIChNode* data) override;
    void GetNodeText(CIChNode* node, int column, std::wstring& text) override;
    void GetSortKey(CIChNode* node, int column, CListSortKey& key) override;
    virtual bool AcceptsRow(const CIChNode* node) const;
    int m_nOwnId, m_nAllKind, m_nMemberKind;
};

class CSubjectViewer : public CJobViewer {
public:
    CSubjectViewer() : CJobViewer(206, 8, 9) {}

protected:
    void InsertColumns() override;
    bool AcceptsRow(const CIChNode* node) const override;
    // A job whose only lack is a subject is shown as not under control, not as an error.
    int IsErrorItem(CIChNode* node, int) override;
    int IsUncontrolledItem(CIChNode* node, int) override;
};

class CASubjViewer : public CIChViewNode {
public:
    int Create(KvUi::CWnd* parent) override;
    int UpdateItem(CIChNode* node) override;
    // Sets every subject's resource count: the resources that reach it through any chain.
    static void CountResources(CIChDataModel& model);

protected:
    void InsertColumns() override;
    int FillItems(CIChNode* data) override;
    void GetNodeText(CIChNode* node, int column, std::wstring& text) override;
    void GetSortKey(CIChNode* node, int column, CListSortKey& key) override;
};
