// What the views need of the window that holds them: the model, the current node, the label-edit
// flag, the context menus, the status line, the relation pane and the list settings. The main
// frame is the one host; tests may put their own.
#pragma once

#include <windows.h>

#include <list>
#include <string>

class CIChDataModel;
class CIChNode;

class IModelViewHost {
public:
    virtual ~IModelViewHost() = default;
    virtual CIChDataModel* GetModel() = 0;
    // Makes the node current; show non-zero refills the right-hand pane with it.
    virtual void SetCurrentNode(CIChNode* node, int show) = 0;
    // Set while a tree label is being edited (the host keeps its accelerators off meanwhile).
    virtual void SetLabelEditFlag(int on) = 0;
    // The context-menu resource of a node (0: none).
    virtual int GetNodeMenuId(CIChNode* node) = 0;
    // The host's current category (7100-7104), -1 before the first.
    virtual int GetCurrentCategory() = 0;

    // ---- what the lists ask (defaults serve hosts without these parts) ----
    // The node the tree made current (null: none).
    virtual CIChNode* GetCurrentTreeNode() { return nullptr; }
    // The text of the list-position pane of the status line.
    virtual void SetStatusText(const std::wstring&) {}
    // Shows the relations of the nodes in the relation pane (null empties it).
    virtual void ShowRelations(const std::list<CIChNode*>*) {}
    // Selects the node in the structure tree below its selected item: non-zero when found.
    virtual int SelectInTree(CIChNode*) { return 0; }
    // The window that owns the lists' popup menus and receives the commands they post.
    virtual HWND GetCommandWnd() { return nullptr; }
    // A list colour of the application's settings, index 1-8 (text/background of normal, error,
    // uncontrolled and non-existent rows); 0 for any other index.
    virtual COLORREF GetListColor(int index);
    // The application's grid-lines setting.
    virtual int GetListGrid() { return 0; }
    // The nodes are out of the model and are freed next: every pane drops what it keeps of them
    // (lists, relation pane, current node).
    virtual void ForgetNodes(const std::list<CIChNode*>&) {}
};

// The list colours the application starts with, index 1-8.
COLORREF DefaultListColor(int index);

inline COLORREF IModelViewHost::GetListColor(int index) { return DefaultListColor(index); }
