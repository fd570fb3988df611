// The software passport end to end under Wine: two small packages installed into the test
// prefix, a request written by the request writer, the plug-in run on its own thread, the
// response, and the report file built by KvReportBuild with the real template.
#include "KvProcAddress.h"
#include <gtest/gtest.h>

#include "kvtest.h"

#include <windows.h>
#include <msi.h>

#include <cstdio>
#include <string>

#include "ReportTestUtil.h"
#include "KvReportDataSource.h"
#include "ReportRequest.h"

using namespace KvReportTest;

namespace {

const wchar_t kAlphaCode[] = L"{6B1E4A0C-7D52-4F7E-9C1B-2A4D7E0F5A11}";
const wchar_t kBetaCode[] = L"{6B1E4A0C-7D52-4F7E-9C1B-2A4D7E0F5B21}";
const wchar_t kBetaComponent[] = L"{6B1E4A0C-7D52-4F7E-9C1B-2A4D7E0F5B23}";
const wchar_t kGammaCode[] = L"{6B1E4A0C-7D52-4F7E-9C1B-2A4D7E0F5C31}";

// CRC-32 of IEEE 802.3 bit by bit, without a table: an independent check of the plug-in's.
unsigned Crc32Bitwise(const std::string& bytes) {
    unsigned crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string Hex8(unsigned v) {
    char text[16];
    snprintf(text, sizeof text, "%08X", v);
    return text;
}

using KvTest::RunMsiexec;

std::wstring Msi(const wchar_t* name) { return Env(L"KV_BIN_DIR") + L"\\fixtures\\passport\\" + name; }

class CAbortNow : public IKvReportAbort {
public:
    bool IsAborted() override { return true; }
};

class CNeverAbort : public IKvReportAbort {
public:
    bool IsAborted() override { return false; }
};

// The text of the SoftwareItem whose ProductName starts with the given text.
std::wstring ItemOf(const std::wstring& response, const std::wstring& name) {
    size_t at = response.find(L"<ProductName>" + name);
    if (at == std::wstring::npos)
        return std::wstring();
    size_t begin = response.rfind(L"<SoftwareItem>", at);
    size_t end = response.find(L"</SoftwareItem>", at);
    return response.substr(begin, end - begin);
}

class PassportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_nInstallAlpha = RunMsiexec(L"/i \"" + Msi(L"kvpassport_alpha.msi") + L"\" /qn");
        s_nInstallBeta = RunMsiexec(L"/i \"" + Msi(L"kvpassport_beta.msi") + L"\" /qn");
        s_nInstallGamma = RunMsiexec(L"/i \"" + Msi(L"kvpassport_gamma.msi") + L"\" /qn");
    }
    static void TearDownTestSuite() {
        RunMsiexec(std::wstring(L"/x ") + kAlphaCode + L" /qn");
        RunMsiexec(std::wstring(L"/x ") + kBetaCode + L" /qn");
        RunMsiexec(std::wstring(L"/x ") + kGammaCode + L" /qn");
    }
    void SetUp() override {
        ASSERT_EQ(s_nInstallAlpha, 0u);
        ASSERT_EQ(s_nInstallBeta, 0u);
        ASSERT_EQ(s_nInstallGamma, 0u);
        m_hPlugin = LoadLibraryW((Env(L"KV_BIN_DIR") + L"\\VrnPassportRpt64.dll").c_str());
        ASSERT_TRUE(m_hPlugin);
    }
    void TearDown() override {
        if (m_hPlugin)
            FreeLibrary(m_hPlugin);
    }
    std::wstring WriteRequest(const wchar_t* name, const std::wstring& report) {
        SPassportDetails details = {L"Отдел", L"АС", L"Место", L"1", L"", L"", L""};
        std::wstring request = TmpPath(name);
        EXPECT_EQ(BuildPassportRequest(details, SPageNumbering{1, 0, 1}, report.c_str(), 1, L"e2e", request.c_str()),
                  S_OK);
        return request;
    }

    // Runs the synchronous source on this thread over a request named after the run; returns its
    // result and gives the response's text.
    int BuildDirect(const std::wstring& name, IKvReportAbort& abort, std::wstring& xml) {
        auto factory = KvGetProcAddress<PFN_KvGetReportDataSource>(m_hPlugin, "KvGetReportDataSource");
        if (!factory)
            return -1;
        IKvReportDataSource* source = factory();
        std::wstring response = TmpPath(name + L"_response.xml");
        std::wstring request = WriteRequest((name + L"_request.xml").c_str(), TmpPath(name + L".rtf"));
        int r = source->Build(request.c_str(), response.c_str(), &abort);
        source->Release();
        xml = ReadUtf8(response);
        return r;
    }

    static DWORD s_nInstallAlpha;
    static DWORD s_nInstallBeta;
    static DWORD s_nInstallGamma;
    HMODULE m_hPlugin = nullptr;
    CComScope m_com;
};

DWORD PassportTest::s_nInstallAlpha = 1;
DWORD PassportTest::s_nInstallBeta = 1;
DWORD PassportTest::s_nInstallGamma = 1;

TEST_F(PassportTest, EndToEndFromRequestToReportFile) {
    // The exports by name are the ones at ordinals 1 and 2.
    FARPROC byName = GetProcAddress(m_hPlugin, "KvGetReportDataSourceAsync");
    ASSERT_TRUE(byName);
    EXPECT_EQ(byName, GetProcAddress(m_hPlugin, MAKEINTRESOURCEA(2)));
    EXPECT_EQ(GetProcAddress(m_hPlugin, "KvGetReportDataSource"), GetProcAddress(m_hPlugin, MAKEINTRESOURCEA(1)));

    std::wstring report = TmpPath(L"passport.rtf");
    std::wstring response = TmpPath(L"passport_response.xml");
    DeleteFileW(report.c_str());
    std::wstring request = WriteRequest(L"passport_request.xml", report);

    // Beta's key file is held open without sharing: it cannot be read, and that must spoil
    // only Beta's checksum.
    wchar_t betaPath[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    ASSERT_EQ(MsiGetComponentPathW(kBetaCode, kBetaComponent, betaPath, &size), INSTALLSTATE_LOCAL);
    HANDLE lock = CreateFileW(betaPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);

    auto factory = reinterpret_cast<PFN_KvGetReportDataSourceAsync>(reinterpret_cast<void (*)()>(byName));
    IKvReportDataSourceAsync* source = factory();
    ASSERT_TRUE(source);
    CCompletion done;
    ASSERT_EQ(source->Start(request.c_str(), response.c_str(), &done), 0);
    ASSERT_TRUE(done.Wait(120000));
    source->Release();
    CloseHandle(lock);
    ASSERT_EQ(done.m_nResult, 0);
    EXPECT_EQ(done.m_nCalls, 1);

    std::wstring xml = ReadUtf8(response);
    EXPECT_NE(xml.find(L"<Source result=\"OK\" type=\"Subsystem\""), std::wstring::npos) << Utf8(xml);
    EXPECT_NE(xml.find(L"<Subsystem name=\"VrnPassportRpt64\" reportTitle=\"PassportSW\""), std::wstring::npos);
    EXPECT_NE(xml.find(L"<PageNumeration present=\"true\" location=\"bottom\" allPagesNum=\"true\""),
              std::wstring::npos);
    EXPECT_EQ(xml.find(L"<ICheck>"), std::wstring::npos);

    wchar_t computer[16] = {};
    DWORD n = 16;
    GetComputerNameW(computer, &n);
    EXPECT_NE(xml.find(std::wstring(L">") + computer + L"</Workstation>"), std::wstring::npos) << Utf8(xml);
    size_t os = xml.find(L"<OSType>");
    ASSERT_NE(os, std::wstring::npos);
    EXPECT_NE(xml.find(L", 64-bit", os), std::wstring::npos) << Utf8(xml);

    std::string alphaKey =
        ReadBytes(Env(L"KV_SOURCE_DIR") + L"\\reportsources\\passport\\tests\\fixtures\\alpha_key.dat");
    ASSERT_FALSE(alphaKey.empty());
    std::string crc = Hex8(Crc32Bitwise(alphaKey));
    // The size is the product's EstimatedSize, or the sum of its file lengths when it has none.
    DWORD estimated = 0, type = 0, cb = sizeof estimated;
    std::wstring uninstall = std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kAlphaCode;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, uninstall.c_str(), L"EstimatedSize", RRF_RT_REG_DWORD, &type, &estimated,
                     &cb) != ERROR_SUCCESS)
        estimated = 0;
    std::string sizeText = std::to_string(estimated ? estimated : (DWORD)alphaKey.size());

    std::wstring alpha = ItemOf(xml, L"KvPassportTest Alpha");
    ASSERT_FALSE(alpha.empty()) << Utf8(xml);
    EXPECT_NE(alpha.find(L"<ProductName>KvPassportTest Alpha {\\b1 bold} \\par</ProductName>"), std::wstring::npos)
        << Utf8(alpha);
    EXPECT_NE(alpha.find(L"<Company>Alpha Maker {\\i} \\\\ Ltd</Company>"), std::wstring::npos) << Utf8(alpha);
    EXPECT_NE(alpha.find(FromUtf8("<Size>" + sizeText + "</Size>")), std::wstring::npos) << Utf8(alpha);
    EXPECT_NE(alpha.find(FromUtf8("<CRC>" + crc + "</CRC>")), std::wstring::npos) << Utf8(alpha);
    std::wstring beta = ItemOf(xml, L"KvPassportTest Beta");
    ASSERT_FALSE(beta.empty()) << Utf8(xml);
    // An unreadable file and a product without files both give "#NaN#"; the attribute tells
    // them apart, and so does the report.
    EXPECT_NE(beta.find(L"<CRC unreadable=\"true\">#NaN#</CRC>"), std::wstring::npos) << Utf8(beta);
    std::wstring gamma = ItemOf(xml, L"KvPassportTest Gamma");
    ASSERT_FALSE(gamma.empty()) << Utf8(xml);
    EXPECT_NE(gamma.find(L"<CRC>#NaN#</CRC>"), std::wstring::npos) << Utf8(gamma);
    uninstall = std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kGammaCode;
    cb = sizeof estimated;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, uninstall.c_str(), L"EstimatedSize", RRF_RT_REG_DWORD, &type, &estimated,
                     &cb) != ERROR_SUCCESS)
        estimated = 0;
    std::string gammaSize = estimated ? std::to_string(estimated) : std::string("#NaN#");
    // The unreadable file's length still counts when the product has no EstimatedSize.
    uninstall = std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kBetaCode;
    cb = sizeof estimated;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, uninstall.c_str(), L"EstimatedSize", RRF_RT_REG_DWORD, &type, &estimated,
                     &cb) != ERROR_SUCCESS)
        estimated = 0;
    std::string betaSize = std::to_string(estimated ? estimated : 70000u);
    EXPECT_NE(beta.find(FromUtf8("<Size>" + betaSize + "</Size>")), std::wstring::npos) << Utf8(beta);

    // The report builder with the real template.
    std::wstring built;
    EXPECT_EQ(BuildReportFile(response, built), 0);
    EXPECT_EQ(built, report);

    std::string rtf = ReadBytes(report);
    ASSERT_EQ(rtf.compare(0, 6, "{\\rtf1"), 0);
    EXPECT_NE(rtf.find("KvPassportTest Alpha \\{\\\\b1 bold\\} \\\\par\\cell "), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("\\cell Alpha Maker \\{\\\\i\\} \\\\\\\\ Ltd\\cell "), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("\\cell " + sizeText + "\\cell " + crc + "\\cell"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("KvPassportTest Beta\\cell Beta Maker\\cell"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("KvPassportTest Gamma\\cell Gamma Maker\\cell " + gammaSize + "\\cell #NaN#\\cell"),
              std::string::npos)
        << rtf;
    EXPECT_NE(rtf.find("\\cell " + betaSize + "\\cell " + Cp1251(L"#NaN# (ошибка чтения файла)") + "\\cell"),
              std::string::npos)
        << rtf;
    EXPECT_NE(rtf.find(Cp1251(L"ПАСПОРТ ПРОГРАММНОГО ОБЕСПЕЧЕНИЯ")), std::string::npos);
    EXPECT_NE(rtf.find(std::string("{\\footer ")), std::string::npos);
}

// A product whose installed file has gone (a broken installation) does not end the inventory:
// that product's checksum is "#NaN#" (the installer may call the component absent, or the file
// is found unreadable), the other products are as before and the run succeeds.
TEST_F(PassportTest, ProductWhoseFileHasGoneSpoilsOnlyItsOwnChecksum) {
    wchar_t betaPath[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    ASSERT_EQ(MsiGetComponentPathW(kBetaCode, kBetaComponent, betaPath, &size), INSTALLSTATE_LOCAL);
    std::wstring aside = std::wstring(betaPath) + L".aside";
    ASSERT_TRUE(MoveFileW(betaPath, aside.c_str()));

    CNeverAbort abort;
    std::wstring xml;
    int r = BuildDirect(L"gone", abort, xml);
    MoveFileW(aside.c_str(), betaPath);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(xml.find(L"<ICheck>"), std::wstring::npos) << Utf8(xml);
    std::wstring beta = ItemOf(xml, L"KvPassportTest Beta");
    ASSERT_FALSE(beta.empty()) << Utf8(xml);
    EXPECT_TRUE(beta.find(L"<CRC unreadable=\"true\">#NaN#</CRC>") != std::wstring::npos ||
                beta.find(L"<CRC>#NaN#</CRC>") != std::wstring::npos)
        << Utf8(beta);
    std::string alphaKey =
        ReadBytes(Env(L"KV_SOURCE_DIR") + L"\\reportsources\\passport\\tests\\fixtures\\alpha_key.dat");
    std::wstring alpha = ItemOf(xml, L"KvPassportTest Alpha");
    EXPECT_NE(alpha.find(FromUtf8("<CRC>" + Hex8(Crc32Bitwise(alphaKey)) + "</CRC>")), std::wstring::npos)
        << Utf8(alpha);
}

TEST_F(PassportTest, AbortedInventoryGivesEmptySoftwareAndNoError) {
    CAbortNow abort;
    std::wstring xml;
    EXPECT_EQ(BuildDirect(L"aborted", abort, xml), 1);
    EXPECT_TRUE(xml.find(L"<Software/>") != std::wstring::npos ||
                xml.find(L"<Software></Software>") != std::wstring::npos)
        << Utf8(xml);
    EXPECT_EQ(xml.find(L"<SoftwareItem>"), std::wstring::npos);
    EXPECT_EQ(xml.find(L"<ICheck>"), std::wstring::npos);
    EXPECT_NE(xml.find(L"</Report>"), std::wstring::npos);
}

TEST_F(PassportTest, RequestWithoutFormatSectionsFails) {
    auto factory = KvGetProcAddress<PFN_KvGetReportDataSource>(m_hPlugin, "KvGetReportDataSource");
    IKvReportDataSource* source = factory();
    std::wstring request = TmpPath(L"bare_request.xml");
    WriteBytes(request, "<Report version=\"1.0\"><Body><PassportSW/></Body></Report>");
    CAbortNow abort;
    int r = source->Build(request.c_str(), TmpPath(L"bare_response.xml").c_str(), &abort);
    source->Release();
    EXPECT_LT(r, 0) << std::hex << r;
}

} // namespace
