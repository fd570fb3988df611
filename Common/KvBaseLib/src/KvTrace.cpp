// The tracer's settings, the start of a run, line layout and outputs, console and registry watcher.
#include "KvTrace.h"

#include <cwchar>
#include <vector>

#include "RegistryKey.h"

namespace KvBase {

namespace {

const DWORD kFileLockWait = 2000;
const wchar_t kDefaultCommonFile[] = L"KvTrace";

// ANSI text of a line in the process's code page.
std::string ToAnsi(const std::wstring& s) {
    if (s.empty())
        return std::string();
    int cb = WideCharToMultiByte(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(cb > 0 ? cb : 0, '\0');
    if (cb > 0)
        WideCharToMultiByte(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &out[0], cb, nullptr, nullptr);
    return out;
}

std::wstring EnvironmentValue(const wchar_t* pszName) {
    wchar_t sz[MAX_PATH * 2];
    DWORD cch = GetEnvironmentVariableW(pszName, sz, MAX_PATH * 2);
    if (cch == 0 || cch >= MAX_PATH * 2)
        return std::wstring();
    return std::wstring(sz, cch);
}

// "name." gets "log"; a name without an extension of one to three characters gets ".log".
std::wstring WithLogExtension(std::wstring strName) {
    size_t n = strName.size();
    if (n > 0 && strName[n - 1] == L'.')
        return strName + L"log";
    bool bHasDot = false;
    for (size_t k = 2; k <= 4; ++k)
        if (n >= k && strName[n - k] == L'.')
            bHasDot = true;
    if (!bHasDot)
        strName += L".log";
    return strName;
}

// A key with its own registry access rule: the tracer never retries.
typedef CRegistryKey CTraceKey;

} // namespace

const wchar_t CKvTrace::kSettingsKey[] = L"Software\\Meridal\\Kavrel 5\\Trace";

CKvTrace::CKvTrace(const wchar_t* pszModuleName) : CKvTrace(pszModuleName, kSettingsKey) {}

CKvTrace::CKvTrace(const wchar_t* pszModuleName, const wchar_t* pszSettingsKey) {
    try {
        m_strModule = pszModuleName ? pszModuleName : L"";
        m_strSettingsKey = pszSettingsKey ? pszSettingsKey : kSettingsKey;
        m_thListen.m_strKey = m_strSettingsKey;
        m_mxFile.Create(false, nullptr, nullptr);
        ReadSettings();
        StartRun();
    } catch (...) {
        OutputDebugStringW(L"Exception raised in CKvTrace::CKvTrace()\n");
        throw;
    }
}

CKvTrace::~CKvTrace() {
    try {
        if (IsLinePending())
            Manipulator(TraceEndLine);
        StopListen();
    } catch (...) {
        OutputDebugStringW(L"Exception raised in CKvTrace::~CKvTrace()\n");
    }
}

int CKvTrace::ReadSettings() {
    CTraceKey common(HKEY_LOCAL_MACHINE);
    if (common.Open(m_strSettingsKey.c_str(), false, KEY_READ) != ERROR_SUCCESS)
        return 0;

    unsigned int nEnable = 0, nParams = 0, nCommonFlag = 0, nContext = 0xFFFFFFFF;
    std::wstring strFile = kDefaultCommonFile;
    auto dword = [](CTraceKey& key, const wchar_t* pszName, unsigned int& nValue) {
        DWORD dw = nValue;
        key.QueryDword(pszName, &dw, nValue);
        nValue = dw;
    };
    dword(common, L"EnableMask", nEnable);
    dword(common, L"ParamsMask", nParams);
    dword(common, L"CommonFileFlag", nCommonFlag);

    CTraceKey module(common);
    if (module.IsOpen() && module.Open(m_strModule.c_str(), false, KEY_READ) == ERROR_SUCCESS) {
        dword(module, L"EnableMask", nEnable);
        dword(module, L"ParamsMask", nParams);
        dword(module, L"CommonFileFlag", nCommonFlag);
        if (nCommonFlag != 0)
            module.QueryString(L"CommonFileName", strFile, kDefaultCommonFile);
        nContext = 0xFFFFFFFF;
        dword(module, L"ContextMask", nContext);
    }

    dword(common, L"ForceEnableMask", nEnable);
    dword(common, L"ForceParamsMask", nParams);
    dword(common, L"ForceCommonFileFlag", nCommonFlag);
    unsigned int nDisableContext = 0;
    dword(common, L"DisableContextFlag", nDisableContext);
    if (nDisableContext != 0)
        nContext = 0xFFFFFFFF;

    if (nCommonFlag == 0)
        strFile = m_strModule;
    strFile = WithLogExtension(strFile);

    std::wstring strDefaultFolder = EnvironmentValue(L"Temp");
    if (strDefaultFolder.empty())
        strDefaultFolder = EnvironmentValue(L"Tmp");
    if (strDefaultFolder.empty())
        strDefaultFolder = EnvironmentValue(L"windir");
    if (strDefaultFolder.empty())
        strDefaultFolder = L"C:\\";
    std::wstring strFolder;
    common.QueryString(L"TracePath", strFolder, strDefaultFolder);
    if (strFolder.empty() || strFolder.back() != L'\\')
        strFolder += L'\\';

    m_nEnableMask.exchange(nEnable);
    m_nParamsMask.exchange(nParams);
    m_nContextMask.exchange(nContext);
    m_nCommonFileFlag.exchange(nCommonFlag);

    // The path changes only while no line of this module is being written to the file.
    bool bLocked = (nParams & TraceToFile) && m_mxFile.Lock(kFileLockWait);
    {
        CWin32Lock lock(m_csPath);
        m_strFilePath = strFolder + strFile;
    }
    if (bLocked)
        m_mxFile.Release();

    if (nParams & TraceToConsole)
        m_console.Open(m_strModule.c_str());
    else
        m_console.Close();
    return 1;
}

std::wstring CKvTrace::GetFilePath() {
    CWin32Lock lock(m_csPath);
    return m_strFilePath;
}

void CKvTrace::StartRun() {
    unsigned int nParams = m_nParamsMask;
    if (!(nParams & TraceToFile) || m_nCommonFileFlag != 0)
        return; // no file, or a file that other modules share
    std::wstring strPath = GetFilePath();
    if (nParams & TraceKeepFile) {
        if (!m_mxFile.Lock(kFileLockWait))
            return;
        try {
            CWin32File file;
            if (OpenTraceFile(file, strPath, true) && file.SeekToEnd() == 0) {
                std::wstring strMark = L"\r\n" + std::wstring(68, L'*') + L"\r\n\r\n";
                if (nParams & TraceUnicode) {
                    file.Write(strMark.data(), static_cast<DWORD>(strMark.size() * sizeof(wchar_t)));
                } else {
                    std::string strAnsi = ToAnsi(strMark);
                    file.Write(strAnsi.data(), static_cast<DWORD>(strAnsi.size()));
                }
            }
        } catch (...) {
        }
        m_mxFile.Release();
    } else {
        try {
            CWin32File::DeleteFile_Ex(strPath.c_str(), true);
        } catch (...) {
        }
    }
}

bool CKvTrace::IsActive() { return m_nEnableMask != 0 && (m_nParamsMask & 0xFF) != 0; }

bool CKvTrace::IsCategoryEnabled(unsigned int nCategory) { return (m_nEnableMask & nCategory) != 0; }

bool CKvTrace::IsContext(unsigned int nContext) { return nContext == m_nContextMask; }

void CKvTrace::FormatLine(std::wstring& strOut, unsigned int nCategory, const SYSTEMTIME& stLocal,
                          const wchar_t* pszText) {
    unsigned int nParams = m_nParamsMask;
    LCID lcid = GetThreadLocale();
    wchar_t sz[400];
    strOut.clear();
    if (nParams & TraceDate) {
        if (GetDateFormatW(lcid, 0, &stLocal, nullptr, sz, 400) > 0) {
            strOut += sz;
            strOut += L' ';
        }
    }
    if (nParams & TraceTime) {
        if (GetTimeFormatW(lcid, 0, &stLocal, nullptr, sz, 400) > 0) {
            strOut += sz;
            if (nParams & TraceMilliseconds) {
                wchar_t szSep[8];
                if (GetLocaleInfoW(lcid, LOCALE_SDECIMAL, szSep, 8) > 0)
                    strOut += szSep;
                else
                    strOut += L':';
                wchar_t szMs[8];
                _snwprintf(szMs, 8, L"%03u", static_cast<unsigned int>(stLocal.wMilliseconds));
                szMs[7] = L'\0';
                strOut += szMs;
            }
            strOut += L' ';
        }
    }
    if (m_nCommonFileFlag != 0 || (nParams & TraceModuleName))
        strOut += L"[" + m_strModule + L"] ";
    if (nParams & TraceThreadIdPrefix) {
        wchar_t szTid[16];
        _snwprintf(szTid, 16, L"[%08X] ", static_cast<unsigned int>(GetCurrentThreadId()));
        szTid[15] = L'\0';
        strOut += szTid;
    }
    if (nCategory == TraceWarning)
        strOut += L"W> ";
    else if (nCategory == TraceError)
        strOut += L"E> ";
    if (pszText)
        strOut += pszText;
    strOut += L"\r\n";
}

bool CKvTrace::OpenTraceFile(CWin32File& file, const std::wstring& strPath, bool bAlwaysNormal) {
    if (file.Open(strPath.c_str(), GENERIC_WRITE, OPEN_ALWAYS, FILE_SHARE_READ, nullptr, FILE_ATTRIBUTE_NORMAL,
                  nullptr))
        return true;
    if (!CreatePathFolders(strPath.c_str()))
        return false;
    DWORD dwFlags = bAlwaysNormal ? FILE_ATTRIBUTE_NORMAL
                                  : (FILE_FLAG_WRITE_THROUGH | FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL);
    return file.Open(strPath.c_str(), GENERIC_WRITE, OPEN_ALWAYS, FILE_SHARE_READ, nullptr, dwFlags, nullptr);
}

void CKvTrace::WriteToFile(const std::wstring& strLine) {
    // An abandoned lock (a writer ended while holding it) is owned all the same: the line is
    // written and the lock released.
    if (!m_mxFile.Lock(kFileLockWait))
        return;
    try {
        CWin32File file;
        if (OpenTraceFile(file, GetFilePath(), false) && file.SeekToEnd() == 0) {
            if (m_nParamsMask & TraceUnicode) {
                file.Write(strLine.data(), static_cast<DWORD>(strLine.size() * sizeof(wchar_t)));
            } else {
                std::string strAnsi = ToAnsi(strLine);
                file.Write(strAnsi.data(), static_cast<DWORD>(strAnsi.size()));
            }
        }
    } catch (...) {
        m_mxFile.Release();
        throw;
    }
    m_mxFile.Release();
}

void CKvTrace::Output(unsigned int nCategory, const std::wstring& strLine) {
    unsigned int nParams = m_nParamsMask;
    if (nParams & TraceToDebugger) {
        try {
            std::wstring strDebug;
            strDebug.reserve(strLine.size());
            for (wchar_t ch : strLine)
                if (ch != L'\r')
                    strDebug += ch;
            if (nParams & TraceUnicode)
                OutputDebugStringW(strDebug.c_str());
            else
                OutputDebugStringA(ToAnsi(strDebug).c_str());
        } catch (...) {
        }
    }
    if (nParams & TraceToFile) {
        try {
            WriteToFile(strLine);
        } catch (...) {
        }
    }
    if (nParams & TraceToConsole) {
        try {
            m_console.WriteW(strLine.c_str());
        } catch (...) {
        }
    }
    if (nCategory == TraceBreak) {
        try {
            if (IsLocalSystem()) {
                OutputDebugStringW(strLine.c_str());
                OutputDebugStringW(L"W> A break is requested after last output, but ommitted in release.\n");
            } else {
                ShowBreakMessage(strLine);
            }
        } catch (...) {
        }
    }
}

bool CKvTrace::IsLocalSystem() {
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return true;
    TOKEN_STATISTICS stats;
    DWORD cb = 0;
    BOOL bOk = GetTokenInformation(hToken, TokenStatistics, &stats, sizeof(stats), &cb);
    CloseHandle(hToken);
    return bOk && stats.AuthenticationId.LowPart == 0x3E7 && stats.AuthenticationId.HighPart == 0;
}

void CKvTrace::ShowBreakMessage(const std::wstring& strLine) {
    MessageBoxW(nullptr, strLine.c_str(), m_strModule.c_str(), MB_SETFOREGROUND);
}

bool CKvTrace::CreatePathFolders(const wchar_t* pszPath) {
    if (!pszPath)
        return false;
    std::wstring strPath = pszPath;
    if (strPath.size() > 519)
        return false;
    size_t nRootEnd;
    if (!strPath.empty() && strPath[0] == L'\\')
        nRootEnd = strPath.find(L'\\', 2); // \\server\ of a network path
    else
        nRootEnd = strPath.find(L'\\'); // the drive part
    if (nRootEnd == std::wstring::npos || nRootEnd + 1 >= strPath.size())
        return false;
    for (wchar_t& ch : strPath)
        if (ch == L'/')
            ch = L'\\';
    for (size_t i = nRootEnd + 1; i + 1 < strPath.size(); ++i) {
        if (strPath[i + 1] == L'\\' && strPath[i] != L'\\') {
            std::wstring strFolder = strPath.substr(0, i + 1);
            if (!CreateDirectoryW(strFolder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
                return false;
        }
    }
    return true;
}

// ---- watcher ----

int CKvTrace::StartListen() {
    try {
        m_thListen.Stop(500);
        if (m_thListen.Start(this, true, nullptr)) {
            m_thListen.SetPriority(THREAD_PRIORITY_LOWEST);
            m_thListen.Resume();
        }
    } catch (...) {
    }
    return 0;
}

void CKvTrace::StopListen() {
    try {
        m_thListen.Stop(2000);
    } catch (...) {
    }
}

DWORD CKvTrace::CListenThread::Run() {
    CKvTrace* pTrace = static_cast<CKvTrace*>(GetRunParameter());
    if (!pTrace)
        return 0;
    CRegistryKey key(HKEY_LOCAL_MACHINE);
    if (key.Open(m_strKey.c_str(), false, KEY_READ) != ERROR_SUCCESS)
        return 0;
    CWin32Event evChange(true);
    if (evChange.Create(false, nullptr, nullptr) != 0)
        return 0;
    const DWORD dwFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
    if (RegNotifyChangeKeyValue(key.GetHandle(), TRUE, dwFilter, evChange.GetHandle(), TRUE) != ERROR_SUCCESS)
        return 0;
    // The settings are read once the watch is armed, and the watch is armed again before each read:
    // a change made while this thread started, or while it read, is never missed.
    pTrace->ReadSettings();
    HANDLE ah[2] = {GetStopEvent(), evChange.GetHandle()};
    for (;;) {
        DWORD dwWait = WaitForMultipleObjects(2, ah, FALSE, INFINITE);
        if (dwWait == WAIT_OBJECT_0)
            return 1;
        if (dwWait != WAIT_OBJECT_0 + 1)
            return 0;
        evChange.Reset();
        if (RegNotifyChangeKeyValue(key.GetHandle(), TRUE, dwFilter, evChange.GetHandle(), TRUE) != ERROR_SUCCESS)
            return 0;
        pTrace->ReadSettings();
    }
}

// ---- console ----

bool CKvTrace::CWin32Console::Open(const wchar_t* pszTitle) {
    if (!HasHandle()) {
        m_bAllocated = AllocConsole() != FALSE;
        m_hHandle = GetStdHandle(STD_OUTPUT_HANDLE);
        if (m_hHandle == nullptr)
            m_hHandle = INVALID_HANDLE_VALUE;
    }
    if (HasHandle() && pszTitle)
        return SetConsoleTitleW(pszTitle) != FALSE;
    return HasHandle();
}

void CKvTrace::CWin32Console::WriteW(const wchar_t* pszText) {
    if (!HasHandle() || !pszText || !*pszText)
        return;
    DWORD cchWritten = 0;
    WriteConsoleW(m_hHandle, pszText, static_cast<DWORD>(wcslen(pszText)), &cchWritten, nullptr);
}

void CKvTrace::CWin32Console::WriteA(const char* pszText) {
    if (!HasHandle() || !pszText || !*pszText)
        return;
    DWORD cchWritten = 0;
    WriteConsoleA(m_hHandle, pszText, static_cast<DWORD>(strlen(pszText)), &cchWritten, nullptr);
}

void CKvTrace::CWin32Console::Close() {
    if (m_bAllocated)
        FreeConsole();
    m_bAllocated = false;
    m_hHandle = INVALID_HANDLE_VALUE; // the standard handle belongs to the console, never closed here
}

} // namespace KvBase
