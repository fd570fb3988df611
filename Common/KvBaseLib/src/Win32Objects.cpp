// Win32 handle, file, event, mutex and thread wrappers.
#include "Win32Objects.h"

namespace KvBase {

namespace {

const wchar_t kSourceFile[] = L"Win32Objects.cpp";

// Lines that the thrown errors carry.
const int kLineDeleteReadOnly = 394;
const int kLineDeleteFile = 401;
const int kLineEventCreate = 571;
const int kLineMutexCreate = 1131;

[[noreturn]] void Throw(DWORD dwCode, int nLine, const wchar_t* pszFunction) {
    throw CVoRurod(static_cast<int>(dwCode), kSourceFile, nLine, pszFunction);
}

} // namespace

// ---- CWin32Handle ----

CWin32Handle::~CWin32Handle() {
    if (m_hHandle != INVALID_HANDLE_VALUE && m_hHandle != nullptr)
        CloseHandle(m_hHandle);
}

CWin32Handle& CWin32Handle::Attach(HANDLE hHandle) {
    Close();
    m_hHandle = hHandle;
    return *this;
}

HANDLE CWin32Handle::Detach() {
    HANDLE h = m_hHandle;
    m_hHandle = INVALID_HANDLE_VALUE;
    return h;
}

void CWin32Handle::Close() {
    if (m_hHandle != INVALID_HANDLE_VALUE && m_hHandle != nullptr)
        CloseHandle(m_hHandle);
    m_hHandle = INVALID_HANDLE_VALUE;
}

// ---- CWin32File ----

bool CWin32File::Open(const wchar_t* pszPath, DWORD dwDesiredAccess, DWORD dwCreationDisposition, DWORD dwShareMode,
                      LPSECURITY_ATTRIBUTES pSecurity, DWORD dwFlagsAndAttributes, HANDLE hTemplate) {
    Close();
    m_strName = pszPath ? pszPath : L"";
    m_hHandle = CreateFileW(pszPath, dwDesiredAccess, dwShareMode, pSecurity, dwCreationDisposition,
                            dwFlagsAndAttributes, hTemplate);
    return IsValid();
}

DWORD CWin32File::Write(const void* pData, DWORD cbData) {
    DWORD cbWritten = 0;
    if (!WriteFile(m_hHandle, pData, cbData, &cbWritten, nullptr))
        return GetLastError();
    return 0;
}

DWORD CWin32File::Read(void* pData, DWORD cbData, DWORD* pcbRead) {
    DWORD cbRead = 0;
    BOOL bOk = ReadFile(m_hHandle, pData, cbData, &cbRead, nullptr);
    if (pcbRead)
        *pcbRead = cbRead;
    return bOk ? 0 : GetLastError();
}

DWORD CWin32File::Seek(LONGLONG llDistance, DWORD dwMoveMethod) {
    if (!IsValid())
        return ERROR_INVALID_HANDLE;
    LONG lHigh = static_cast<LONG>(llDistance >> 32);
    SetLastError(0);
    DWORD dwLow = SetFilePointer(m_hHandle, static_cast<LONG>(llDistance & 0xFFFFFFFF), &lHigh, dwMoveMethod);
    if (dwLow == INVALID_SET_FILE_POINTER) {
        DWORD dwErr = GetLastError();
        if (dwErr != 0)
            return dwErr;
    }
    return 0;
}

WIN32_FILE_ATTRIBUTE_DATA CWin32File::GetAttributes(const wchar_t* pszPath) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    ZeroMemory(&data, sizeof(data));
    if (!GetFileAttributesExW(pszPath, GetFileExInfoStandard, &data)) {
        ZeroMemory(&data, sizeof(data));
        data.dwFileAttributes = INVALID_FILE_ATTRIBUTES;
    }
    return data;
}

void CWin32File::DeleteFile_Ex(const wchar_t* pszPath, bool bKeepReadOnly) {
    static const wchar_t kFunction[] = L"KvBase::CWin32File::DeleteFile_Ex";
    if (DeleteFileW(pszPath))
        return;
    DWORD dwErr = GetLastError();
    if (dwErr == ERROR_ACCESS_DENIED && !bKeepReadOnly) {
        WIN32_FILE_ATTRIBUTE_DATA data = GetAttributes(pszPath);
        if (data.dwFileAttributes != INVALID_FILE_ATTRIBUTES && (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
            if (!SetFileAttributesW(pszPath, data.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY))
                Throw(GetLastError(), kLineDeleteReadOnly, kFunction);
            if (DeleteFileW(pszPath))
                return;
            dwErr = GetLastError();
        }
    }
    Throw(dwErr, kLineDeleteFile, kFunction);
}

// ---- CWin32Event ----

CWin32Event::~CWin32Event() { Close(); }

HANDLE CWin32Event::Detach() {
    HANDLE h = m_hHandle;
    m_hHandle = nullptr;
    return h;
}

void CWin32Event::Close() {
    if (m_hHandle != nullptr) {
        if (m_hHandle != INVALID_HANDLE_VALUE)
            CloseHandle(m_hHandle);
        m_hHandle = nullptr;
    }
}

DWORD CWin32Event::Create(bool bInitialState, const wchar_t* pszName, LPSECURITY_ATTRIBUTES pSecurity) {
    Close();
    m_hHandle = CreateEventW(pSecurity, m_bManualReset, bInitialState, pszName);
    if (!m_hHandle)
        return GetLastError();
    if (pszName)
        m_strName = pszName;
    return 0;
}

void CWin32Event::Create_Ex(bool bInitialState, const wchar_t* pszName, LPSECURITY_ATTRIBUTES pSecurity) {
    Close();
    DWORD dwErr = Create(bInitialState, pszName, pSecurity);
    if (dwErr != 0)
        Throw(dwErr, kLineEventCreate, L"KvBase::CWin32Event::Create_Ex");
}

DWORD CWin32Event::Set() { return SetEvent(m_hHandle) ? 0 : GetLastError(); }

DWORD CWin32Event::Reset() { return ResetEvent(m_hHandle) ? 0 : GetLastError(); }

// ---- CWin32Mutex ----

CWin32Mutex::~CWin32Mutex() { Close(); }

void CWin32Mutex::Close() {
    if (IsValid())
        CloseHandle(m_hHandle);
    m_hHandle = INVALID_HANDLE_VALUE;
}

DWORD CWin32Mutex::Release() {
    if (!IsValid())
        return ERROR_INVALID_HANDLE;
    return ReleaseMutex(m_hHandle) ? 0 : GetLastError();
}

DWORD CWin32Mutex::Create(bool bInitialOwner, const wchar_t* pszName, LPSECURITY_ATTRIBUTES pSecurity) {
    Close();
    m_hHandle = CreateMutexW(pSecurity, bInitialOwner, pszName);
    DWORD dwErr = m_hHandle ? 0 : GetLastError();
    if (pszName)
        m_strName = pszName;
    return dwErr;
}

void CWin32Mutex::Create_Ex(bool bInitialOwner, const wchar_t* pszName, LPSECURITY_ATTRIBUTES pSecurity) {
    DWORD dwErr = Create(bInitialOwner, pszName, pSecurity);
    if (dwErr != 0)
        Throw(dwErr, kLineMutexCreate, L"KvBase::CWin32Mutex::Create_Ex");
}

DWORD CWin32Mutex::Wait(DWORD dwMilliseconds) {
    if (!IsValid()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return WaitForSingleObject(m_hHandle, dwMilliseconds);
}

// ---- CWin32Thread ----

CWin32Thread::CWin32Thread() : m_evStop(true) { m_evStop.Create(false, nullptr, nullptr); }

CWin32Thread::~CWin32Thread() {
    StopAndWait();
    Close();
}

void CWin32Thread::StopAndWait() {
    Stop(INFINITE);
    // Stop returns early when a WM_QUIT arrives while it waits; the stop event and the lock must
    // outlive the thread, so wait (without dispatching) until it has really ended.
    if (IsValid())
        WaitForSingleObject(m_hHandle, INFINITE);
}

void CWin32Thread::Close() {
    if (IsValid())
        CloseHandle(m_hHandle);
    m_hHandle = INVALID_HANDLE_VALUE;
}

DWORD WINAPI CWin32Thread::ThreadProc(void* pThis) {
    // No exception may leave a thread's start routine.
    try {
        return static_cast<CWin32Thread*>(pThis)->Run();
    } catch (const CVoRurod& e) {
        return static_cast<DWORD>(e.GetCode() ? e.GetCode() : E_FAIL);
    } catch (...) {
        return static_cast<DWORD>(E_FAIL);
    }
}

bool CWin32Thread::Start(void* pParam, bool bSuspended, LPSECURITY_ATTRIBUTES pSecurity) {
    CWin32Lock lock(m_lock);
    if (IsValid()) {
        if (WaitForSingleObject(m_hHandle, 0) == WAIT_TIMEOUT)
            return false; // the previous thread still runs
        CloseHandle(m_hHandle);
    }
    m_bSuspended = bSuspended;
    m_pParam = pParam;
    // Reset before the thread exists, so that a stop signalled for an earlier run is never seen.
    m_evStop.Reset();
    m_dwThreadId = 0;
    m_hHandle =
        CreateThread(pSecurity, 0, &CWin32Thread::ThreadProc, this, bSuspended ? CREATE_SUSPENDED : 0, &m_dwThreadId);
    if (!m_hHandle) {
        m_pParam = nullptr;
        m_bSuspended = false;
        return false;
    }
    return true;
}

DWORD CWin32Thread::WaitForThread(DWORD dwMilliseconds, bool bPumpMessages) {
    if (!IsValid())
        return 0;
    if (!bPumpMessages)
        return WaitForSingleObject(m_hHandle, dwMilliseconds);
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // The quit request belongs to the caller's message loop: give it back.
                PostQuitMessage(static_cast<int>(msg.wParam));
                return 0;
            }
            DispatchMessageW(&msg);
        }
        DWORD dwWait = MsgWaitForMultipleObjects(1, &m_hHandle, FALSE, dwMilliseconds, QS_ALLINPUT);
        if (dwWait == WAIT_OBJECT_0 + 1)
            continue;
        DWORD dwExit = STILL_ACTIVE;
        if (!GetExitCodeThread(m_hHandle, &dwExit))
            dwExit = STILL_ACTIVE;
        return dwExit;
    }
}

DWORD CWin32Thread::Stop(DWORD dwMilliseconds) {
    {
        CWin32Lock lock(m_lock);
        m_pParam = nullptr;
        m_evStop.Set();
    }
    if (WaitForThread(dwMilliseconds, true) == 0)
        return 0;
    return Terminate(1);
}

DWORD CWin32Thread::Terminate(DWORD dwMilliseconds) {
    if (WaitForThread(dwMilliseconds, false) == 0)
        return 0;
    if (!TerminateThread(m_hHandle, 0))
        return GetLastError();
    // TerminateThread only starts the end of the thread; its stack, the stop event and the lock
    // must not be freed before it has ended.
    WaitForSingleObject(m_hHandle, INFINITE);
    return 1;
}

DWORD CWin32Thread::Suspend() {
    DWORD dwPrev = SuspendThread(m_hHandle);
    if (dwPrev != static_cast<DWORD>(-1))
        m_bSuspended = true;
    return dwPrev;
}

DWORD CWin32Thread::Resume() {
    if (!m_bSuspended)
        return 0;
    DWORD dwPrev = ResumeThread(m_hHandle);
    // The thread runs again once its suspend count has dropped to zero.
    if (dwPrev != static_cast<DWORD>(-1) && dwPrev <= 1)
        m_bSuspended = false;
    return dwPrev;
}

int CWin32Thread::GetPriority() { return GetThreadPriority(m_hHandle); }

BOOL CWin32Thread::SetPriority(int nPriority) { return SetThreadPriority(m_hHandle, nPriority); }

bool CWin32Thread::IsStopRequested() {
    HANDLE hStop;
    {
        CWin32Lock lock(m_lock);
        if (m_hHandle == nullptr)
            return true; // the last start failed
        hStop = m_evStop.GetHandle();
    }
    // The wait is outside the lock: a thread terminated while it waits leaves no lock owned.
    return WaitForSingleObject(hStop, 2) == WAIT_OBJECT_0;
}

void* CWin32Thread::GetRunParameter() {
    CWin32Lock lock(m_lock);
    return m_pParam;
}

} // namespace KvBase
