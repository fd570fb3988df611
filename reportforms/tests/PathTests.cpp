// The report file's name: the path filter, the completion of a typed name, the default name, and
// the report file page reading its field as the user types.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "PathEdit.h"
#include "kvclick.h"
#include "kvpresenter.h"
#include "WizardPages.h"
#include "reportforms_ids.h"

using namespace KvUi;

namespace {

struct FilterCase {
    const wchar_t* text;
    const wchar_t* filtered;
    bool changed;
};

TEST(PathEditFilter, Table) {
    const FilterCase cases[] = {
        {L"", L"", false},
        {L"a", L"a", false},
        {L":", L"", true}, // one character: not the drive's colon
        {L"C:", L"C:", false},
        {L"C:\\dir\\file.rtf", L"C:\\dir\\file.rtf", false},
        {L"C:/dir/file", L"C:\\dir\\file", true},
        {L"C:\\a*b", L"C:\\ab", true},
        {L"C:\\a|<>?*b", L"C:\\ab", true},
        {L"C:\\a:b", L"C:\\ab", true}, // a second ':'
        {L"C::", L"C:", true},
        {L":C", L"C", true},
        {L"ab:", L"ab", true},
        {L"\\\\server\\share\\r", L"\\\\server\\share\\r", false},
        {L"//server/share", L"\\\\server\\share", true},
        {L"C:\\dir\\", L"C:\\dir\\", false}, // a trailing '\' is the page's business
        {L"Отчёт «1».rtf", L"Отчёт «1».rtf", false},
    };
    for (const FilterCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "\"" << c.text << "\"");
        std::wstring text = c.text;
        std::vector<wchar_t> buf(text.begin(), text.end());
        buf.push_back(L'\0');
        wchar_t* r = PathEditFilter(buf.data());
        EXPECT_EQ(c.changed, r != nullptr);
        if (r)
            EXPECT_EQ(buf.data(), r);
        EXPECT_STREQ(c.filtered, buf.data());
    }
    EXPECT_EQ(nullptr, PathEditFilter(nullptr));
}

TEST(CompleteReportPath, Table) {
    const std::wstring docs = L"C:\\users\\u\\Documents";
    struct Case {
        const wchar_t* path;
        const wchar_t* folder;
        const wchar_t* completed;
    } cases[] = {
        {L"report", docs.c_str(), L"C:\\users\\u\\Documents\\report.rtf"},
        {L"C:report", docs.c_str(), L"C:report.rtf"},
        {L"\\\\server\\share\\r", docs.c_str(), L"\\\\server\\share\\r.rtf"},
        {L"x.RTF", docs.c_str(), L"C:\\users\\u\\Documents\\x.RTF.rtf"}, // case-sensitive
        {L"", docs.c_str(), L"C:\\users\\u\\Documents\\.rtf"},
        {L"a", docs.c_str(), L"C:\\users\\u\\Documents\\a.rtf"},
        {L"rtf", docs.c_str(), L"C:\\users\\u\\Documents\\rtf.rtf"},
        {L".rtf", docs.c_str(), L"C:\\users\\u\\Documents\\.rtf"},
        {L"C:\\r.rtf", docs.c_str(), L"C:\\r.rtf"},
        {L"C:\\dir\\", docs.c_str(), L"C:\\dir\\.rtf"},
        {L"\\root", docs.c_str(), L"\\root.rtf"},
        {L"report", L"C:\\", L"C:\\report.rtf"}, // no second '\'
        {L"report", L"", L"\\report.rtf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "\"" << c.path << "\" in \"" << c.folder << "\"");
        EXPECT_EQ(std::wstring(c.completed), CompleteReportPath(c.path, c.folder));
    }
}

std::wstring Documents() {
    std::wstring docs = GetDocumentsFolder();
    EXPECT_FALSE(docs.empty());
    return docs;
}

int CountFiles(const std::wstring& pattern) {
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int n = 0;
    do
        ++n;
    while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    return n;
}

TEST(DefaultReportPath, RepAndTheUniquePartInTheFolderWithoutATemporaryFile) {
    std::wstring docs = Documents();
    ::CreateDirectoryW(docs.c_str(), nullptr);
    int before = CountFiles(docs + L"\\rep*");
    std::wstring path = MakeDefaultReportPath(docs);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(docs + L"\\rep", path.substr(0, docs.size() + 4));
    std::wstring unique = path.substr(docs.size() + 4);
    ASSERT_GT(unique.size(), 4u);
    EXPECT_EQ(L".rtf", unique.substr(unique.size() - 4));
    unique.resize(unique.size() - 4);
    EXPECT_EQ(std::wstring::npos, unique.find_first_not_of(L"0123456789ABCDEFabcdef")) << unique;
    EXPECT_EQ(before, CountFiles(docs + L"\\rep*")) << "a temporary file remains";
    // No folder, no name.
    EXPECT_EQ(L"", MakeDefaultReportPath(L""));
    EXPECT_EQ(L"", MakeDefaultReportPath(docs + L"\\no such folder"));
}

// A window that stands for the wizard frame: it counts the page's messages.
class CFrameProbe : public CWnd {
public:
    std::vector<WPARAM> m_states;
    LRESULT OnState(WPARAM wp, LPARAM) {
        m_states.push_back(wp);
        return 0;
    }
    KV_DECLARE_MESSAGE_MAP()
};
KV_BEGIN_MESSAGE_MAP(CFrameProbe, CWnd)
ON_MESSAGE(WM_REPORT_PATH_STATE, OnState)
KV_END_MESSAGE_MAP()

class FilePageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_frame.CreateEx(0, nullptr, L"frame", WS_POPUP, 0, 0, 600, 300, nullptr, nullptr));
        ASSERT_TRUE(m_page.Create(IDD_REPORT_FILE, m_frame.m_hWnd));
        PumpWaitingMessages();
    }
    void TearDown() override {
        m_page.DestroyWindow();
        m_frame.DestroyWindow();
    }
    std::wstring Field() { return m_page.GetDlgItemText(IDC_REPORT_PATH); }
    void Type(const std::wstring& text) {
        m_frame.m_states.clear();
        m_page.SetDlgItemText(IDC_REPORT_PATH, text);
        PumpWaitingMessages();
    }
    CFrameProbe m_frame;
    CDlgResourcesSecond m_page;
};

TEST_F(FilePageTest, DefaultNameAndNoMessageBeforeTheFrameIsSet) {
    std::wstring docs = Documents();
    std::wstring path = Field();
    EXPECT_EQ(docs + L"\\rep", path.substr(0, docs.size() + 4));
    EXPECT_EQ(path, m_page.m_strPath);
    EXPECT_TRUE(m_page.IsPathAcceptable());
    // The page was made and filled without a frame to tell: nothing was posted, and typing
    // without a frame posts nothing either.
    EXPECT_TRUE(m_frame.m_states.empty());
    Type(L"C:\\x");
    EXPECT_TRUE(m_frame.m_states.empty());
    EXPECT_EQ(L"C:\\x", m_page.m_strPath);
}

TEST_F(FilePageTest, TypedTextIsFilteredAndToldToTheFrame) {
    m_page.SetFrame(&m_frame);
    const std::wstring long300(300, L'a');
    struct Case {
        std::wstring typed;
        std::wstring field;
        std::wstring path;
        WPARAM state;
    } cases[] = {
        {L"C:\\reports\\r", L"C:\\reports\\r", L"C:\\reports\\r", 1},
        {L"C:/reports/r", L"C:\\reports\\r", L"C:\\reports\\r", 1},
        {L"C:\\r*", L"C:\\r", L"C:\\r", 1},
        {L"C:\\a:b", L"C:\\ab", L"C:\\ab", 1},
        {L"C:\\dir\\", L"C:\\dir\\", L"C:\\dir", 0}, // a folder is not a file
        {L"C:\\dir\\\\", L"C:\\dir\\\\", L"C:\\dir", 0},
        {L"", L"", L"", 0},
        {L"*", L"", L"", 0},
        {L"r", L"r", L"r", 1},
        {long300, std::wstring(259, L'a'), std::wstring(259, L'a'), 1}, // pasted: cut to what is read
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "\"" << c.typed.substr(0, 40) << "\"");
        Type(c.typed);
        EXPECT_EQ(c.field, Field());
        EXPECT_EQ(c.path, m_page.m_strPath);
        EXPECT_EQ(c.state == 1, m_page.IsPathAcceptable());
        ASSERT_FALSE(m_frame.m_states.empty());
        EXPECT_EQ(c.state, m_frame.m_states.back());
    }
}

TEST_F(FilePageTest, CompletedPathGoesToTheDocumentsFolder) {
    std::wstring docs = Documents();
    Type(L"report");
    EXPECT_EQ(docs + L"\\report.rtf", m_page.GetCompletedPath());
    EXPECT_EQ(docs + L"\\report.rtf", m_page.m_strPath);
    Type(L"C:report");
    EXPECT_EQ(L"C:report.rtf", m_page.GetCompletedPath());
}

TEST_F(FilePageTest, BrowseAsksForAFileToSaveAndTakesIt) {
    KvTest::CScopedPresenter ps;
    ps.QueueFiles({L"C:\\chosen\\file.rtf"});
    EXPECT_TRUE(KvTest::Click(m_page, IDC_BROWSE));
    PumpWaitingMessages();
    EXPECT_EQ(L"C:\\chosen\\file.rtf", Field());
    EXPECT_EQ(L"C:\\chosen\\file.rtf", m_page.m_strPath);
    auto questions = ps.FileQuestions();
    ASSERT_EQ(1u, questions.size());
    EXPECT_TRUE(questions[0].save);
    EXPECT_EQ(L"rtf", questions[0].defaultExtension);
    EXPECT_EQ(std::wstring(L"Текстовый документ (*.rtf)\0*.rtf\0All Files (*.*)\0*.*\0\0", 54), questions[0].filter);
    EXPECT_TRUE(questions[0].initialPath.empty());
    // Cancelled: the path stays.
    EXPECT_TRUE(KvTest::Click(m_page, IDC_BROWSE));
    EXPECT_EQ(L"C:\\chosen\\file.rtf", m_page.m_strPath);
}

// Enter on the "..." button opens the Save As dialog once, when the key is released.
TEST_F(FilePageTest, EnterOnTheBrowseButtonOpensTheDialogOnce) {
    KvTest::CScopedPresenter ps;
    ps.QueueFiles({L"C:\\by key.rtf"});
    HWND browse = m_page.GetDlgItem(IDC_BROWSE);
    ::PostMessageW(browse, WM_KEYDOWN, VK_RETURN, 1);
    ::PostMessageW(browse, WM_CHAR, L'\r', 1);
    PumpWaitingMessages();
    EXPECT_TRUE(ps.FileQuestions().empty());
    ::PostMessageW(browse, WM_KEYUP, VK_RETURN, 0xC0000001);
    PumpWaitingMessages();
    EXPECT_EQ(1u, ps.FileQuestions().size());
    EXPECT_EQ(L"C:\\by key.rtf", m_page.m_strPath);
}

} // namespace
