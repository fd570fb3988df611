// Taking many nodes out of the model at once: links to the nodes that stay, links among the nodes
// that go, the model's lists, the path index and the time stamps; and the subordinates of nodes.
#include <gtest/gtest.h>

#include "IChDataModel.h"

#include <string>

namespace {

struct Detach : ::testing::Test {
    CIChDataModel m;
    CIChNode *job = nullptr, *task = nullptr, *g1 = nullptr, *g2 = nullptr;
    CIChResorce *r1 = nullptr, *r2 = nullptr, *r3 = nullptr;
    const FILETIME old = {1, 0};

    void SetUp() override {
        job = m.CreateNode(NodeTypeJob);
        task = m.CreateNode(NodeTypeTask);
        g1 = m.CreateNode(NodeTypeGroup);
        g2 = m.CreateNode(NodeTypeGroup);
        r1 = static_cast<CIChResorce*>(m.CreateNode(NodeTypeResource));
        r2 = static_cast<CIChResorce*>(m.CreateNode(NodeTypeResource));
        r3 = static_cast<CIChResorce*>(m.CreateNode(NodeTypeResource));
        int i = 0;
        for (CIChResorce* r : {r1, r2, r3}) {
            r->SetSubType(ResFile);
            r->SetName(L"C:\\detach\\f" + std::to_wstring(++i) + L".dll");
        }
        task->LinkTo(job);
        g1->LinkTo(task);
        g2->LinkTo(task);
        g1->LinkTo(job);
        r1->LinkTo(g1);
        r2->LinkTo(g1);
        r2->LinkTo(g2);
        r3->LinkTo(g2);
        m.RebuildPathIndex();
        for (CIChNode* n :
             {job, task, g1, g2, static_cast<CIChNode*>(r1), static_cast<CIChNode*>(r2), static_cast<CIChNode*>(r3)})
            n->SetModifyTime(&old);
        m.m_bModified = 0;
    }
    void TearDown() override { m.Clear(1); }
    static bool Stamped(const CIChNode* n) {
        return n->m_ModifyTime.dwLowDateTime != 1 || n->m_ModifyTime.dwHighDateTime != 0;
    }
    static bool Holds(const CIChNodeList& list, const CIChNode* n) {
        for (CIChNode* x : list)
            if (x == n)
                return true;
        return false;
    }
};

TEST_F(Detach, TheNodesLeaveEveryListAndTheLinksAmongThemGoToo) {
    CIChNodeList doomed = {g1, r1, r2, g1}; // a node named twice counts once
    EXPECT_EQ(3u, m.DetachNodes(doomed));
    // Out of the model's lists and the path index.
    EXPECT_FALSE(Holds(m.m_Groups, g1));
    EXPECT_FALSE(Holds(m.m_Resources, r1));
    EXPECT_FALSE(Holds(m.m_Resources, r2));
    EXPECT_TRUE(Holds(m.m_Resources, r3));
    EXPECT_EQ(1u, m.m_PathIndex.size());
    EXPECT_EQ(nullptr, m.FindNodeByName(NodeTypeResource, r1->m_Name, 0));
    EXPECT_EQ(r3, m.FindNodeByName(NodeTypeResource, r3->m_Name, 0));
    // No link left on either side.
    for (CIChNode* n : {g1, static_cast<CIChNode*>(r1), static_cast<CIChNode*>(r2)}) {
        EXPECT_TRUE(n->m_Uppers.empty());
        EXPECT_TRUE(n->m_Members.empty());
    }
    EXPECT_EQ(CIChNodeList({g2}), task->m_Members);
    EXPECT_EQ(CIChNodeList({task}), job->m_Members);
    EXPECT_EQ(CIChNodeList({r3}), g2->m_Members);
    // The upper nodes left behind and the nodes themselves are stamped; members are not.
    EXPECT_TRUE(Stamped(task));
    EXPECT_TRUE(Stamped(job));
    EXPECT_TRUE(Stamped(g2));
    EXPECT_TRUE(Stamped(g1));
    EXPECT_FALSE(Stamped(r3));
    EXPECT_EQ(1, m.m_bModified);
    delete g1;
    delete r1;
    delete r2;
}

TEST_F(Detach, NothingToDetachChangesNothing) {
    CIChNodeList none;
    EXPECT_EQ(0u, m.DetachNodes(none));
    CIChNodeList nulls = {nullptr};
    EXPECT_EQ(0u, m.DetachNodes(nulls));
    EXPECT_EQ(0, m.m_bModified);
    EXPECT_EQ(3u, m.m_Resources.size());
}

TEST_F(Detach, SubordinatesAreEveryNodeBelowOnceWithoutTheGivenOnes) {
    struct Case {
        CIChNodeList start;
        size_t count;
    } cases[] = {
        {{job}, 6},      // the task, both groups, three resources
        {{task, g1}, 4}, // g1 lies below the task too, but is given: g2 and the resources
        {{g2}, 2},
        {{r1}, 0},
    };
    for (const Case& c : cases) {
        CIChNodeList out;
        CIChDataModel::CollectSubordinates(c.start, out);
        EXPECT_EQ(c.count, out.size());
        for (CIChNode* n : c.start)
            EXPECT_FALSE(Holds(out, n));
        for (CIChNode* n : out) {
            int seen = 0;
            for (CIChNode* x : out)
                seen += x == n;
            EXPECT_EQ(1, seen);
        }
    }
}

} // namespace
