// Clearing a linked model frees every node and touches no freed partner. In this executable every
// freed block is overwritten and never reused, and the blocks still in use are counted, so a node
// that follows a freed partner's lists crashes the test, and a node left behind shows.
#include <windows.h>
#include <malloc.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_set>

#include "IChDataModel.h"

#include "kvpoisonheap.h"

namespace {

using KvPoison::LiveCount;

TEST(ModelClear, FreesEveryNodeOfALinkedModel) {
    CIChDataModel model;
    model.NewModel(1, 2);
    // The host's own addresses are looked up once per process and kept from then on: that one
    // block belongs to the process, not to the model.
    model.RebuildPathIndex();
    model.Clear(1);
    model.m_DriveAliases.clear();
    model.m_ShareAliases.clear();
    const long baseline = LiveCount();

    CIChSubject* subject = model.EnsureDefaultSubject();
    CIChJob* job = model.EnsureDefaultJob(subject, 2);
    CIChJob* job2 = static_cast<CIChJob*>(model.CreateNode(NodeTypeJob));
    job2->LinkTo(subject);
    for (int t = 0; t < 3; ++t) {
        CIChNode* task = model.CreateNode(NodeTypeTask);
        task->LinkTo(job);
        task->LinkTo(job2);
        for (int g = 0; g < 3; ++g) {
            CIChNode* group = model.CreateNode(NodeTypeGroup);
            group->LinkTo(task);
            if (g == 0)
                group->LinkTo(job);
            for (int r = 0; r < 4; ++r) {
                auto* res = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
                res->SetName(L"C:\\dir\\file" + std::to_wstring(t * 100 + g * 10 + r));
                res->SetParam(L"Disk", _value_t(r));
                res->LinkTo(group);
                res->LinkTo(model.m_Groups.front()); // shared with the first group
            }
        }
    }
    // Links against the usual direction (a resource with a member, a subject under a job): the
    // clear must not follow them into freed nodes either.
    model.m_Subjects.front()->AddUpperLink(job2);
    model.m_Resources.back()->m_Members.push_back(model.m_Tasks.front());
    model.RebuildPathIndex();

    EXPECT_GT(LiveCount(), baseline);
    model.Clear(1);
    EXPECT_EQ(model.GetNodeCount(), 0u);
    EXPECT_TRUE(model.m_PathIndex.empty());
    model.m_DriveAliases.clear();
    model.m_ShareAliases.clear();
    EXPECT_EQ(LiveCount(), baseline);
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
}

TEST(ModelClear, DestructorClearsToo) {
    const long before = LiveCount();
    {
        CIChDataModel model;
        model.NewModel(1, 1);
        CIChNode* group = model.CreateNode(NodeTypeGroup);
        group->LinkTo(model.m_Jobs.front());
        model.CreateNode(NodeTypeResource)->LinkTo(group);
    }
    EXPECT_EQ(LiveCount(), before);
}

TEST(NodeDelete, DeletingOneNodeLeavesItsPartnersWhole) {
    CIChDataModel model;
    CIChNode* group = model.CreateNode(NodeTypeGroup);
    CIChNode* task = model.CreateNode(NodeTypeTask);
    CIChNode* res = model.CreateNode(NodeTypeResource);
    res->LinkTo(group);
    group->LinkTo(task);
    model.m_Groups.remove(group);
    delete group;
    EXPECT_TRUE(res->m_Uppers.empty());
    EXPECT_TRUE(task->m_Members.empty());
}

} // namespace
