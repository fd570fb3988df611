// The node XML form "Element" through MSXML.
#include <windows.h>
#include <msxml2.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "IChNode.h"
#include "KvRegTokens.h"
#include "NodeXml.h"

namespace {

const NodeId kNeg = (NodeId)0x8000000000000000ULL;

class NodeXml : public testing::Test {
protected:
    IXMLDOMDocument* m_Doc = nullptr;
    IXMLDOMElement* m_Root = nullptr;

    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_HRESULT_SUCCEEDED(CreateXmlDomDocument(&m_Doc));
        BSTR name = SysAllocString(L"Model");
        ASSERT_HRESULT_SUCCEEDED(m_Doc->createElement(name, &m_Root));
        SysFreeString(name);
        IXMLDOMNode* out = nullptr;
        ASSERT_HRESULT_SUCCEEDED(m_Doc->appendChild(m_Root, &out));
        out->Release();
    }
    void TearDown() override {
        if (m_Root)
            m_Root->Release();
        if (m_Doc)
            m_Doc->Release();
        CoUninitialize();
    }

    // Writes the node into a new "Element" under the root; returns the element (owned by caller).
    IXMLDOMElement* Write(CIChNode& node) {
        IXMLDOMElement* element = nullptr;
        BSTR name = SysAllocString(L"Element");
        EXPECT_HRESULT_SUCCEEDED(m_Doc->createElement(name, &element));
        SysFreeString(name);
        IXMLDOMNode* out = nullptr;
        EXPECT_HRESULT_SUCCEEDED(m_Root->appendChild(element, &out));
        if (out)
            out->Release();
        EXPECT_EQ(node.WriteXml(m_Doc, element), S_OK);
        return element;
    }
    static std::wstring Xml(IXMLDOMNode* node) {
        BSTR xml = nullptr;
        node->get_xml(&xml);
        std::wstring text = xml ? xml : L"";
        SysFreeString(xml);
        return text;
    }
    // Loads a document from text and returns its first "Element"-like child of the root.
    IXMLDOMNode* Parse(const std::wstring& text) {
        BSTR xml = SysAllocString(text.c_str());
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_HRESULT_SUCCEEDED(m_Doc->loadXML(xml, &ok));
        SysFreeString(xml);
        EXPECT_EQ(ok, VARIANT_TRUE) << "not XML";
        IXMLDOMElement* root = nullptr;
        m_Doc->get_documentElement(&root);
        if (!root)
            return nullptr;
        IXMLDOMNode* first = nullptr;
        root->get_firstChild(&first);
        root->Release();
        return first;
    }
};

#define ELEMENT_ATTRS L"name=\"n\" ID=\"5\" description=\"d\" timelow=\"1\" timehigh=\"2\""

TEST_F(NodeXml, BaseAttributesAndUpLinks) {
    CIChJob job;
    job.m_Id = 9;
    CIChTask task;
    task.m_Id = kNeg | 7;
    CIChRGroup group;
    group.SetName(L"Группа <&\">");
    group.SetDescription(L"описание");
    group.m_Id = kNeg | 7;
    group.m_ModifyTime = {0xFFFFFFFFu, 0x01D70001u};
    group.LinkTo(&job);
    group.LinkTo(&task);
    group.m_ModifyTime = {0xFFFFFFFFu, 0x01D70001u};

    IXMLDOMElement* element = Write(group);
    std::wstring xml = Xml(element);
    EXPECT_NE(xml.find(L"ID=\"2147483655\""), std::wstring::npos) << std::string(xml.begin(), xml.end());
    EXPECT_NE(xml.find(L"timelow=\"4294967295\""), std::wstring::npos);
    EXPECT_NE(xml.find(L"<UPNode ID=\"9\" level=\"2\"/>"), std::wstring::npos);
    EXPECT_NE(xml.find(L"<UPNode ID=\"2147483655\" level=\"1\"/>"), std::wstring::npos);
    EXPECT_NE(xml.find(L"<SubType Value=\"0\"/>"), std::wstring::npos);

    CIChRGroup back;
    back.m_SubType = 3;
    EXPECT_EQ(back.ReadXml(element), 1);
    element->Release();
    EXPECT_EQ(back.m_Name, group.m_Name);
    EXPECT_EQ(back.m_Description, L"описание");
    EXPECT_EQ(back.m_Id, 2147483655LL); // bit 63 is not restored
    EXPECT_EQ(CompareModifyTime(&back.m_ModifyTime, &group.m_ModifyTime), 0);
    EXPECT_EQ(back.m_SubType, 0);
    EXPECT_EQ(back.m_UpLinks, (std::map<long long, int>{{9 | UpLinkLevel2Flag, 2}, {2147483655LL, 1}}));
    EXPECT_TRUE(back.m_Uppers.empty()); // reading makes no links
}

TEST_F(NodeXml, RoundTripOfEveryClass) {
    CIChResorce value;
    value.SetSubType(ResRegValue);
    value.SetName(L"HKEY_CURRENT_USER\\Software\\X\\a/b");
    value.m_Id = 5;
    value.m_Controlled = 0;
    value.m_Executable = 1;
    CIChResorce backValue; // a fresh resource: file rules until its SubType is read
    IXMLDOMElement* e = Write(value);
    EXPECT_NE(Xml(e).find(L"<Flags Value=\"3\"/>"), std::wstring::npos);
    EXPECT_EQ(backValue.ReadXml(e), 1);
    e->Release();
    EXPECT_EQ(backValue.m_SubType, ResRegValue);
    EXPECT_EQ(backValue.m_Name, value.m_Name);
    EXPECT_EQ(backValue.m_Path, value.m_Path);
    EXPECT_EQ(backValue.m_Description, L"a/b");
    EXPECT_EQ(backValue.m_Controlled, 0);
    EXPECT_EQ(backValue.m_Executable, 1);
    EXPECT_EQ(backValue.m_Id, 5);

    CIChTask task;
    task.SetName(L"Office");
    KvCmdSequence::SOneCmd cmd;
    cmd.strName = L"Программы";
    cmd.nType = KvCmdSequence::CMD_DIR_FILES;
    cmd.bRecursive = 1;
    cmd.strRoot = L"%ProgramFiles%\\Office";
    cmd.strFileMasks = L"*.exe;*.dll";
    task.m_Sequence.GetCmdList()->push_back(cmd);
    CIChTask backTask;
    e = Write(task);
    EXPECT_EQ(backTask.ReadXml(e), 1);
    e->Release();
    std::wstring written, read;
    task.m_Sequence.SaveBuff(written);
    backTask.m_Sequence.SaveBuff(read);
    EXPECT_EQ(read, written);
    EXPECT_EQ(backTask.m_Sequence.IsEmpty(), 0);

    CIChJob job;
    job.SetName(L"Job");
    job.m_SubType = 2;
    job.m_Priority = 200;
    job.m_Method = 3;
    job.m_Algorithm = 4;
    job.m_OkReaction = 1;
    job.m_ErrReaction = 2;
    job.m_ScheduleParams = 3;
    job.m_ScheduleHoursMask = 0x00FFFFFF;
    for (int i = 0; i < 12; ++i)
        job.m_ScheduleDaysMask[i] = i * 100 - 1;
    job.m_IsHostBased = 1;
    CIChJob backJob;
    e = Write(job);
    EXPECT_NE(Xml(e).find(L"<ScheduleDaysMask Value=\"-1,99,199,299,399,499,599,699,799,899,999,1099\"/>"),
              std::wstring::npos);
    EXPECT_EQ(backJob.ReadXml(e), 1);
    e->Release();
    EXPECT_EQ(backJob.m_SubType, 2);
    EXPECT_EQ(backJob.m_Priority, 200);
    EXPECT_EQ(backJob.m_Method, 3);
    EXPECT_EQ(backJob.m_Algorithm, 4);
    EXPECT_EQ(backJob.m_OkReaction, 1);
    EXPECT_EQ(backJob.m_ErrReaction, 2);
    EXPECT_EQ(backJob.m_ScheduleParams, 3);
    EXPECT_EQ(backJob.m_ScheduleHoursMask, 0x00FFFFFF);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(backJob.m_ScheduleDaysMask[i], i * 100 - 1);
    EXPECT_EQ(backJob.m_IsHostBased, 0); // not carried by the element

    CIChSubject subject;
    subject.m_SubType = SubjectGroup;
    subject.m_Sid.FromString(L"S-1-5-32-544");
    subject.m_Local = 0;
    subject.SetName(L"Administrators");
    CIChSubject backSubject;
    e = Write(subject);
    EXPECT_EQ(backSubject.ReadXml(e), 1);
    e->Release();
    EXPECT_EQ(backSubject.m_SubType, SubjectGroup);
    EXPECT_EQ(backSubject.m_Sid, subject.m_Sid);
    EXPECT_NE(backSubject.m_Name.find(L"\\"), std::wstring::npos); // resolved "domain\name"
    EXPECT_EQ(backSubject.m_Local, 0);
}

TEST_F(NodeXml, EmptySequenceWritesNoChild) {
    CIChTask task;
    IXMLDOMElement* e = Write(task);
    EXPECT_EQ(Xml(e).find(L"Sequence"), std::wstring::npos);
    CIChTask back;
    back.m_Sequence.GetCmdList()->push_back(KvCmdSequence::SOneCmd());
    EXPECT_EQ(back.ReadXml(e), 1);
    EXPECT_EQ(back.m_Sequence.IsEmpty(), 0); // kept as it was
    e->Release();
}

TEST_F(NodeXml, WriteRefusesNullArguments) {
    CIChRGroup group;
    IXMLDOMElement* e = Write(group);
    EXPECT_EQ(group.WriteXml(nullptr, e), E_INVALIDARG);
    EXPECT_EQ(group.WriteXml(m_Doc, nullptr), E_INVALIDARG);
    EXPECT_EQ(group.ReadXml(nullptr), 0);
    e->Release();
}

TEST_F(NodeXml, ReadingHandWrittenElements) {
    struct Case {
        const char* what;
        std::wstring xml;
        std::function<CIChNode*()> make;
        int result;
        std::function<void(CIChNode*)> check;
    };
    auto job = [] { return new CIChJob; };
    auto resource = [] { return new CIChResorce; };
    auto subject = [] { return new CIChSubject; };
    auto asJob = [](CIChNode* n) { return static_cast<CIChJob*>(n); };
    auto asRes = [](CIChNode* n) { return static_cast<CIChResorce*>(n); };
    const std::wstring key = L"HKEY_CURRENT_USER\\Software\\X\\";
    const Case cases[] = {
        {"lower-case element name", L"<M><element " ELEMENT_ATTRS L"/></M>", resource, 0,
         [](CIChNode* n) { EXPECT_EQ(n->m_Name, L""); }},
        {"lower-case element name applies no SubType",
         L"<M><element " ELEMENT_ATTRS L"><SubType Value=\"3\"/></element></M>", resource, 0,
         [&](CIChNode* n) {
             EXPECT_EQ(asRes(n)->m_SubType, ResFile);
             EXPECT_EQ(n->m_Name, L"");
         }},
        {"no description: name and ID already applied",
         L"<M><Element name=\"x\" ID=\"12\" timelow=\"1\" timehigh=\"2\"/></M>", job, 0,
         [](CIChNode* n) {
             EXPECT_EQ(n->m_Name, L"x");
             EXPECT_EQ(n->m_Id, 12);
         }},
        {"UPNode without level", L"<M><Element " ELEMENT_ATTRS L"><UPNode ID=\"3\"/></Element></M>", job, 0,
         [](CIChNode*) {}},
        {"numbers as decimal text",
         L"<M><Element name=\"n\" ID=\"  -12abc\" description=\"\" timelow=\"3000000000\" timehigh=\"x\"/></M>", job, 1,
         [](CIChNode* n) {
             EXPECT_EQ(n->m_Id, -12);
             EXPECT_EQ(n->m_ModifyTime.dwLowDateTime, 3000000000u);
             EXPECT_EQ(n->m_ModifyTime.dwHighDateTime, 0u);
         }},
        {"method 2 without algorithm becomes full match",
         L"<M><Element " ELEMENT_ATTRS L"><Method Value=\"2\"/><Algorithm Value=\"1\"/></Element></M>", job, 1,
         [&](CIChNode* n) {
             EXPECT_EQ(asJob(n)->m_Method, 2);
             EXPECT_EQ(asJob(n)->m_Algorithm, 6);
         }},
        {"method 5 with a signature becomes contents",
         L"<M><Element " ELEMENT_ATTRS L"><Method Value=\"5\"/><Algorithm Value=\"3\"/></Element></M>", job, 1,
         [&](CIChNode* n) {
             EXPECT_EQ(asJob(n)->m_Method, 2);
             EXPECT_EQ(asJob(n)->m_Algorithm, 3);
         }},
        {"days with an empty piece", L"<M><Element " ELEMENT_ATTRS L"><ScheduleDaysMask Value=\"1,,2\"/></Element></M>",
         job, 1,
         [&](CIChNode* n) {
             EXPECT_EQ(asJob(n)->m_ScheduleDaysMask[0], 1);
             EXPECT_EQ(asJob(n)->m_ScheduleDaysMask[1], 2);
             EXPECT_EQ(asJob(n)->m_ScheduleDaysMask[2], 0);
         }},
        {"fifteen days fill twelve",
         L"<M><"
         L"Element " ELEMENT_ATTRS L"><ScheduleDaysMask Value=\"1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\"/></Element></M>",
         job, 1, [&](CIChNode* n) { EXPECT_EQ(asJob(n)->m_ScheduleDaysMask[11], 12); }},
        {"priority keeps the low byte, host flag is not taken",
         L"<M><Element " ELEMENT_ATTRS L"><Priority Value=\"258\"/><IsHostBased Value=\"1\"/></Element></M>", job, 1,
         [&](CIChNode* n) {
             EXPECT_EQ(asJob(n)->m_Priority, 2);
             EXPECT_EQ(asJob(n)->m_IsHostBased, 0);
         }},
        {"a recognised child without Value", L"<M><Element " ELEMENT_ATTRS L"><IsHostBased/></Element></M>", job, 0,
         [](CIChNode*) {}},
        {"flags 0 leave the defaults", L"<M><Element " ELEMENT_ATTRS L"><Flags Value=\"0\"/></Element></M>", resource,
         1,
         [&](CIChNode* n) {
             EXPECT_EQ(asRes(n)->m_Controlled, 1);
             EXPECT_EQ(asRes(n)->m_Executable, 0);
         }},
        {"(Default) value gets its token",
         L"<M><Element name=\"" + key +
             L"(default)\" ID=\"1\" description=\"(Default)\" timelow=\"0\" timehigh=\"0\"><SubType "
             L"Value=\"2\"/></Element></M>",
         resource, 1,
         [&](CIChNode* n) {
             EXPECT_EQ(n->m_Name, key + RegDefaultValueToken);
             EXPECT_EQ(n->m_Description, RegDefaultValueToken);
         }},
        {"subject with the null SID",
         L"<M><Element " ELEMENT_ATTRS L"><SubType Value=\"0\"/><SID Value=\"S-1-0-0\"/></Element></M>", subject, 0,
         [](CIChNode*) {}},
        {"subject with an empty SID", L"<M><Element " ELEMENT_ATTRS L"><SID Value=\"\"/></Element></M>", subject, 0,
         [](CIChNode*) {}},
        {"computer subject keeps its name",
         L"<M><Element name=\"WS12\" ID=\"1\" description=\"\" timelow=\"0\" timehigh=\"0\"><SubType "
         L"Value=\"0\"/><Local Value=\"-1\"/><SID Value=\"S-1-5-21-1-2-3\"/></Element></M>",
         subject, 1,
         [](CIChNode* n) {
             auto* s = static_cast<CIChSubject*>(n);
             EXPECT_EQ(s->m_Name, L"WS12");
             EXPECT_EQ(s->m_Local, -1);
             EXPECT_EQ(s->m_Sid.Str(), L"S-1-5-21-1-2-3");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IXMLDOMNode* element = Parse(c.xml);
        ASSERT_NE(element, nullptr);
        std::unique_ptr<CIChNode> node(c.make());
        EXPECT_EQ(node->ReadXml(element), c.result);
        c.check(node.get());
        element->Release();
    }
}

} // namespace
