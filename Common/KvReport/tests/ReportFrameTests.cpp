// The asynchronous run frame: argument checks, busy refusal, abort in time and too late,
// release while running; the completion must come exactly once per run.
#include <gtest/gtest.h>

#include <windows.h>

#include "ReportHelpers.h"
#include "ReportTestUtil.h"
#include "ReportWriters.h"
#include "VoRurod.h"

using namespace KvReportTest;

namespace {

enum class EMode { Gate, Polls, IgnoresAbort };

// A synchronous source whose behaviour the test chooses.
class CTestSource : public IKvReportDataSource {
public:
    CTestSource(EMode mode, HANDLE gate) : m_mode(mode), m_hGate(gate) {}
    void Release() override { delete this; }
    int Build(const wchar_t*, const wchar_t* response, IKvReportAbort* abort) override {
        switch (m_mode) {
        case EMode::Gate:
            WaitForSingleObject(m_hGate, 30000);
            return 42;
        case EMode::Polls:
            while (!abort->IsAborted())
                Sleep(10);
            return 1;
        case EMode::IgnoresAbort: {
            // Holds the response file open, half written, and never looks at the abort.
            CReportWriter writer(response);
            writer.StartElement(L"Report");
            writer.ElementValue(std::wstring(200000, L'x'));
            SetEvent(m_hGate);
            for (;;)
                Sleep(100);
        }
        }
        return 0;
    }

private:
    virtual ~CTestSource() = default;
    EMode m_mode;
    HANDLE m_hGate;
};

class CTestAsync : public CKvReportDataSourceAsyncImpl {
public:
    explicit CTestAsync(IKvReportDataSource* source) : CKvReportDataSourceAsyncImpl(source) {}
};

class RunFrameTest : public ::testing::Test {
protected:
    void SetUp() override { m_hGate = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    void TearDown() override { CloseHandle(m_hGate); }
    IKvReportDataSourceAsync* Make(EMode mode) { return new CTestAsync(new CTestSource(mode, m_hGate)); }
    HANDLE m_hGate = nullptr;
    CComScope m_com;
};

TEST_F(RunFrameTest, NullArgumentsStartNothing) {
    IKvReportDataSourceAsync* source = Make(EMode::Gate);
    CCompletion done;
    EXPECT_EQ(source->Start(nullptr, L"b", &done), E_INVALIDARG);
    EXPECT_EQ(source->Start(L"a", nullptr, &done), E_INVALIDARG);
    EXPECT_EQ(source->Start(L"a", L"b", nullptr), E_INVALIDARG);
    EXPECT_EQ(source->Abort(), 0); // never started: nothing to do
    source->Release();
    EXPECT_EQ(done.m_nCalls, 0);
}

TEST_F(RunFrameTest, BusyWhileRunningThenRunsAgain) {
    IKvReportDataSourceAsync* source = Make(EMode::Gate);
    CCompletion done;
    ASSERT_EQ(source->Start(L"req", L"resp", &done), 0);
    EXPECT_EQ(source->Start(L"req", L"resp", &done), KV_REPORT_E_BUSY);
    SetEvent(m_hGate);
    ASSERT_TRUE(done.Wait(10000));
    EXPECT_EQ(done.m_nResult, 42);
    EXPECT_NE(done.m_dwThread, GetCurrentThreadId());
    Sleep(50);
    done.Rearm();
    // After the completion the same object runs again (the gate stays open).
    ASSERT_EQ(source->Start(L"req", L"resp", &done), 0);
    ASSERT_TRUE(done.Wait(10000));
    source->Release();
    EXPECT_EQ(done.m_nCalls, 2);
}

TEST_F(RunFrameTest, AbortInTimeCompletesOnceWithTheSourcesResult) {
    IKvReportDataSourceAsync* source = Make(EMode::Polls);
    CCompletion done;
    ASSERT_EQ(source->Start(L"req", L"resp", &done), 0);
    Sleep(50);
    EXPECT_EQ(source->Abort(), 0);
    // The completion has come before Abort returned, on the worker.
    EXPECT_EQ(done.m_nCalls, 1);
    EXPECT_EQ(done.m_nResult, 1);
    EXPECT_NE(done.m_dwThread, GetCurrentThreadId());
    EXPECT_EQ(source->Abort(), 0); // a second abort of the ended run adds nothing
    source->Release();
    EXPECT_EQ(done.m_nCalls, 1);
}

// A worker that outlives its time is terminated; the response file it held open is closed and
// left as it was written (the run reports 1 and the host does not read it), so that the host can
// delete it or write the next response under the same name.
TEST_F(RunFrameTest, AbortTooLateTerminatesAndLeavesTheResponseAsWritten) {
    std::wstring response = TmpPath(L"late_response.xml");
    IKvReportDataSourceAsync* source = Make(EMode::IgnoresAbort);
    CCompletion done;
    ASSERT_EQ(source->Start(L"req", response.c_str(), &done), 0);
    ASSERT_EQ(WaitForSingleObject(m_hGate, 10000), WAIT_OBJECT_0);
    std::string written = ReadBytes(response);
    ASSERT_FALSE(written.empty());
    DWORD t0 = GetTickCount();
    EXPECT_EQ(source->Abort(), 0);
    EXPECT_GE(GetTickCount() - t0, 9000u);
    EXPECT_EQ(done.m_nCalls, 1);
    EXPECT_EQ(done.m_nResult, 1);
    EXPECT_EQ(done.m_dwThread, GetCurrentThreadId());
    EXPECT_EQ(ReadBytes(response), written);
    EXPECT_TRUE(DeleteFileW(response.c_str())) << "the response file is still held open";
    ASSERT_NO_FATAL_FAILURE(WriteBytes(response, "x"));
    source->Release();
    EXPECT_EQ(done.m_nCalls, 1);
    DeleteFileW(response.c_str());
}

TEST_F(RunFrameTest, ReleaseWhileRunningTerminatesWithoutCompletion) {
    std::wstring response = TmpPath(L"release_response.xml");
    IKvReportDataSourceAsync* source = Make(EMode::IgnoresAbort);
    CCompletion done;
    ASSERT_EQ(source->Start(L"req", response.c_str(), &done), 0);
    ASSERT_EQ(WaitForSingleObject(m_hGate, 10000), WAIT_OBJECT_0);
    std::string written = ReadBytes(response);
    DWORD t0 = GetTickCount();
    source->Release();
    DWORD spent = GetTickCount() - t0;
    EXPECT_GE(spent, 2500u);
    EXPECT_LT(spent, 9000u);
    Sleep(100);
    EXPECT_EQ(done.m_nCalls, 0);
    EXPECT_EQ(ReadBytes(response), written);
    EXPECT_TRUE(DeleteFileW(response.c_str())) << "the response file is still held open";
}

TEST(SmartReportPtr, EmptyPointerRaisesPointerError) {
    CSmartReportPtr<IKvReportDataSource> empty;
    try {
        empty->Release();
        FAIL() << "no error raised";
    } catch (KvBase::CVoRurod& e) {
        EXPECT_EQ((unsigned)e.GetCode(), 0x80004003u);
        EXPECT_STREQ(e.GetField(L"File"), L"ReportHelpers");
        EXPECT_STREQ(e.GetField(L"Function"), L"CSmartReportPtr<class IKvReportDataSource>::operator ->");
    }
}

} // namespace
