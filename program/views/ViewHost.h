// What the views need of the window that holds them: the model, the current node, the label-edit
// flag and the context menus. The main frame is the one host; tests may put their own.
#pragma once

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
};
