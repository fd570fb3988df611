#include "IChFolder.h"

#include "resource.h"

const wchar_t* const kResourceFamilyTags[4] = {L"*:", L"REGISTRY", L"DISK_SECTOR", L"HARDWARE"};
const UINT kResourceFamilyNames[4] = {IDS_FAMILY_FILES, IDS_FAMILY_REGISTRY, IDS_FAMILY_SECTORS, IDS_FAMILY_HARDWARE};
const UINT kCategoryRootNames[5] = {IDS_CAT_RESOURCES, IDS_CAT_GROUPS, IDS_CAT_TASKS, IDS_CAT_JOBS, IDS_CAT_SUBJECTS};

int GetResourceFolderIndex(int subType) {
    switch (subType) {
    case ResFile:
    case ResDirectory:
        return 0;
    case ResRegValue:
    case ResRegKey:
        return 1;
    case ResDiskSector:
        return 2;
    case ResPciDevice:
    case ResSmbiosTable:
    case ResSmbiosField:
        return 3;
    }
    return -1;
}

int GetNodeIconNumber(const CIChNode* node) {
    if (!node)
        return 0;
    switch (node->GetType()) {
    case NodeTypeResource: {
        const CIChResorce* r = static_cast<const CIChResorce*>(node);
        if (r->m_Executable)
            return 18;
        if (r->m_SubType >= ResPciDevice)
            return 9;
        return r->m_SubType + 4;
    }
    case FolderResources:
        for (int i = 0; i < 4; ++i)
            if (node->m_Description == kResourceFamilyTags[i])
                return 10 + i;
        return 3;
    case NodeTypeGroup:
        return 10 + static_cast<const CIChRGroup*>(node)->m_SubType;
    case NodeTypeTask:
        return static_cast<const CIChTask*>(node)->m_Sequence.IsEmpty() ? 1 : 23;
    case NodeTypeJob:
        return 20;
    case NodeTypeSubject:
        return 14 + static_cast<const CIChSubject*>(node)->m_SubType;
    case FolderGroups:
    case FolderTasks:
    case FolderJobs:
    case FolderSubjects:
        return 3;
    }
    return 0;
}
