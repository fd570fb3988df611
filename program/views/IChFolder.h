// The tree's folder node: stands for a category, a resource family or a directory in the
// structure tree. It lives only in the view: never in the model's lists, never linked.
#pragma once

#include "IChNode.h"

// Tree kinds of the folders: the folder of the nodes of kind k - 1.
enum FolderKind {
    FolderResources = 2,
    FolderGroups = 4,
    FolderTasks = 6,
    FolderJobs = 8,
    FolderSubjects = 10,
};

class CIChFolder : public CIChNode {
public:
    CIChFolder(int kind = FolderResources, int family = 0) : m_Kind(kind), m_Family(family) { m_Removable = 1; }
    int GetType() const override { return m_Kind; }
    int GetUsageState() const override { return UsageNotModelNode; }

    int m_Kind;   // 2, 4, 6, 8 or 10
    int m_Family; // resource folders: 0 files and directories, 1 registry, 2 disk sectors, 3 hardware
};

// The resource family that lists a resource of the SubType: 0 for files and directories, 1 for
// registry values and keys, 2 for disk sectors, 3 for PCI devices and SMBIOS; -1 otherwise.
int GetResourceFolderIndex(int subType);

// The family tags the resource folders keep in their descriptions, by family index.
extern const wchar_t* const kResourceFamilyTags[4];
// The string ids of the family folders' names, by family index.
extern const UINT kResourceFamilyNames[4];
// The string ids of the root texts of the five categories 7100-7104.
extern const UINT kCategoryRootNames[5];

// The node icon number (0-23) that shows a node or folder; PCI and SMBIOS resources give 9 here
// (the lists replace it with the hardware inventory's image, CNodeImageList::GetNodeImage).
int GetNodeIconNumber(const CIChNode* node);
