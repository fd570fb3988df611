// Owning wrappers of Windows objects: critical sections, kernel handles (files, events, mutexes,
// threads). Operations return Win32 error codes (0 for success); the _Ex variants throw
// KvBase::CVoRurod with the source file "Win32Objects.cpp". Objects never cross a module boundary.
#pragma once

#include <windows.h>

#include <string>

#include "VoRurod.h"

namespace KvBase {

class CWin32CriticalSection {
public:
    CWin32CriticalSection() { InitializeCriticalSection(&m_cs); }
    virtual ~CWin32CriticalSection() { DeleteCriticalSection(&m_cs); }
    CWin32CriticalSection(const CWin32CriticalSection&) = delete;
    CWin32CriticalSection& operator=(const CWin32CriticalSection&) = delete;

    void Enter() { EnterCriticalSection(&m_cs); }
    void Leave() { LeaveCriticalSection(&m_cs); }
    CRITICAL_SECTION* Get() { return &m_cs; }

private:
    CRITICAL_SECTION m_cs;
};

// Holds a critical section for the life of a scope.
class CWin32Lock {
public:
    explicit CWin32Lock(CWin32CriticalSection& cs) : m_cs(cs) { m_cs.Enter(); }
    ~CWin32Lock() { m_cs.Leave(); }
    CWin32Lock(const CWin32Lock&) = delete;
    CWin32Lock& operator=(const CWin32Lock&) = delete;

private:
    CWin32CriticalSection& m_cs;
};

// The module-wide critical section: created when the module that carries the library is loaded
// (before the module's own global objects) and deleted when it is unloaded (after them).
CWin32CriticalSection& GetModuleCriticalSection();

class CWin32Handle {
public:
    explicit CWin32Handle(HANDLE hHandle = INVALID_HANDLE_VALUE) : m_hHandle(hHandle) {}
    virtual ~CWin32Handle();
    CWin32Handle(const CWin32Handle&) = delete;
    CWin32Handle& operator=(const CWin32Handle&) = delete;

    // Closes the current handle (through Close), then holds hHandle.
    virtual CWin32Handle& Attach(HANDLE hHandle);
    // Gives the handle away without closing it; the object then holds none.
    virtual HANDLE Detach();
    virtual HANDLE GetHandle() { return m_hHandle; }
    virtual HANDLE GetHandle() const { return m_hHandle; }
    virtual bool IsValid() const { return m_hHandle != INVALID_HANDLE_VALUE; }
    virtual bool IsOpen() const { return IsValid(); }
    virtual void Close();
    virtual DWORD Release() { return 0; }

    const std::wstring& GetName() const { return m_strName; }

protected:
    HANDLE m_hHandle;
    std::wstring m_strName;
};

class CWin32File : public CWin32Handle {
public:
    CWin32File() = default;
    ~CWin32File() override = default;

    // Closes the current file, remembers the path and opens it with CreateFileW; test IsValid.
    bool Open(const wchar_t* pszPath, DWORD dwDesiredAccess, DWORD dwCreationDisposition, DWORD dwShareMode = 0,
              LPSECURITY_ATTRIBUTES pSecurity = nullptr, DWORD dwFlagsAndAttributes = FILE_ATTRIBUTE_NORMAL,
              HANDLE hTemplate = nullptr);
    DWORD Write(const void* pData, DWORD cbData);
    // Reads up to cbData bytes; *pcbRead receives the count (0 at the end of the file).
    DWORD Read(void* pData, DWORD cbData, DWORD* pcbRead);
    DWORD Seek(LONGLONG llDistance, DWORD dwMoveMethod);
    DWORD SeekToEnd() { return Seek(0, FILE_END); }

    // The path's attribute data; on failure the attribute word is INVALID_FILE_ATTRIBUTES, the rest 0.
    static WIN32_FILE_ATTRIBUTE_DATA GetAttributes(const wchar_t* pszPath);
    // Deletes a file, clearing its read-only attribute first unless bKeepReadOnly; throws on failure.
    static void DeleteFile_Ex(const wchar_t* pszPath, bool bKeepReadOnly);
};

class CWin32Event : public CWin32Handle {
public:
    explicit CWin32Event(bool bManualReset) : CWin32Handle(nullptr), m_bManualReset(bManualReset) {}
    ~CWin32Event() override;

    HANDLE Detach() override;
    bool IsValid() const override { return m_hHandle != nullptr; }
    void Close() override;
    DWORD Release() override { return Reset(); }

    virtual DWORD Create(bool bInitialState = false, const wchar_t* pszName = nullptr,
                         LPSECURITY_ATTRIBUTES pSecurity = nullptr);
    virtual void Create_Ex(bool bInitialState = false, const wchar_t* pszName = nullptr,
                           LPSECURITY_ATTRIBUTES pSecurity = nullptr);

    DWORD Set();
    DWORD Reset();
    bool IsManualReset() const { return m_bManualReset; }

private:
    bool m_bManualReset;
};

class CWin32Mutex : public CWin32Handle {
public:
    CWin32Mutex() = default;
    ~CWin32Mutex() override;

    bool IsValid() const override { return m_hHandle != INVALID_HANDLE_VALUE && m_hHandle != nullptr; }
    void Close() override;
    // Releases an owned mutex: 6 when none is held, else 0 or the error of ReleaseMutex.
    DWORD Release() override;

    // 0 when a handle came back (also for a named mutex that existed already), else the error.
    virtual DWORD Create(bool bInitialOwner = false, const wchar_t* pszName = nullptr,
                         LPSECURITY_ATTRIBUTES pSecurity = nullptr);
    virtual void Create_Ex(bool bInitialOwner = false, const wchar_t* pszName = nullptr,
                           LPSECURITY_ATTRIBUTES pSecurity = nullptr);

    // WaitForSingleObject on the mutex: WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT or WAIT_FAILED.
    DWORD Wait(DWORD dwMilliseconds);
    // Waits and tells whether the caller now owns the mutex. An abandoned mutex is owned too:
    // its former owner ended without releasing it, and the wait handed it to this thread.
    bool Lock(DWORD dwMilliseconds) { return IsOwned(Wait(dwMilliseconds)); }
    static bool IsOwned(DWORD dwWaitResult) { return dwWaitResult == WAIT_OBJECT_0 || dwWaitResult == WAIT_ABANDONED; }
};

// A thread with a stop event. Derived classes implement Run, poll IsStopRequested in its loop,
// and call StopAndWait in their own destructor (the thread calls Run on the derived object).
class CWin32Thread : public CWin32Handle {
public:
    CWin32Thread();
    ~CWin32Thread() override;

    bool IsValid() const override { return m_hHandle != INVALID_HANDLE_VALUE && m_hHandle != nullptr; }
    void Close() override;

    // The thread's work; the result is its exit code.
    virtual DWORD Run() = 0;
    // Starts the thread (suspended when asked) with the run parameter; true when it was created.
    // A thread of this object that still runs is not replaced: the call fails.
    virtual bool Start(void* pParam = nullptr, bool bSuspended = false, LPSECURITY_ATTRIBUTES pSecurity = nullptr);
    // Asks the thread to stop and waits, dispatching the calling thread's messages, up to
    // dwMilliseconds; a thread that has not ended with exit code 0 by then is terminated.
    // 0 when the thread ended by itself (or none runs); else the result of Terminate.
    virtual DWORD Stop(DWORD dwMilliseconds);
    // Waits up to dwMilliseconds (no message dispatching); a thread still running is terminated
    // with exit code 0, and the call returns once it has ended. 0 when it ended by itself,
    // 1 when it was terminated, else the error of TerminateThread.
    virtual DWORD Terminate(DWORD dwMilliseconds);
    // SuspendThread and ResumeThread results: the previous suspend count, or (DWORD)-1.
    virtual DWORD Suspend();
    virtual DWORD Resume();
    virtual int GetPriority();
    virtual BOOL SetPriority(int nPriority);
    // True once a stop was asked for (or when the last start failed).
    virtual bool IsStopRequested();

    // Stop with no time limit, then a wait (without dispatching) until the thread has really
    // ended, also when a WM_QUIT cut the wait of Stop short. The destructor does this; a derived
    // class calls it in its own destructor, since the thread runs the derived class's Run.
    void StopAndWait();

    DWORD GetThreadId() const { return m_dwThreadId; }
    bool IsSuspended() const { return m_bSuspended; }

protected:
    // The parameter given to Start; null once a stop was requested.
    void* GetRunParameter();
    // The stop event, for a Run that waits on it together with other objects.
    HANDLE GetStopEvent() const { return m_evStop.GetHandle(); }

    // Result of waiting for the thread: 0 when it has no handle; else the exit code (STILL_ACTIVE
    // when the time ran out) with message dispatching, or the WaitForSingleObject result without.
    DWORD WaitForThread(DWORD dwMilliseconds, bool bPumpMessages);

private:
    static DWORD WINAPI ThreadProc(void* pThis);

    DWORD m_dwThreadId = 0;
    CWin32Event m_evStop;
    CWin32CriticalSection m_lock;
    void* m_pParam = nullptr;
    bool m_bSuspended = false;
};

} // namespace KvBase
