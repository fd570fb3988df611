// The tracer of a module: lines composed by any thread (formatted, dumped or streamed piece by
// piece), configured from the local machine's registry key Software\Meridal\Kavrel 5\Trace and
// written to the debugger, a trace file and a console window.
//
// A module that traces defines its one tracer with KVBASE_DEFINE_TRACE(L"ModuleName") at file
// scope in one of its sources; CTraceScope works on that tracer, theTrace.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <string>

#include "Win32Objects.h"

namespace KvBase {

// Line categories (bits of the enable mask; a line has exactly one).
enum : unsigned int {
    TraceGeneral = 0x1,
    TraceScope = 0x2,
    TraceWarning = 0x4,
    TraceError = 0x8,
    TraceBreak = 0x10,
};

// Bits of the parameter mask.
enum : unsigned int {
    TraceToFile = 0x1,
    TraceToDebugger = 0x8,
    TraceToConsole = 0x10,
    TraceKeepFile = 0x100,
    TraceMilliseconds = 0x400,
    TraceThreadIdPrefix = 0x800,
    TraceTime = 0x1000,
    TraceDate = 0x2000,
    TraceUnicode = 0x4000,
    TraceModuleName = 0x8000,
};

// Bits of a thread's format word.
enum : unsigned int {
    TraceHex = 0x1,
    TraceDecimal = 0x2,
    TraceBinary = 0x4,
    TraceWidthMiddle = 0x40,
    TraceWidthLarge = 0x80,
    TraceFixedFloat = 0x100,
    TraceFloatDefault = 0x200,
    TraceSystemMessage = 0x400,
    TraceDefaultFormat = 0x201,
};

// Manipulator codes.
enum : unsigned int {
    TraceEndLine = 16,
    TraceLastError = 17,
    TraceThreadId = 18,
};

// Dump flags.
enum : unsigned int {
    TraceDumpWords = 0x40,
    TraceDumpDwords = 0x80,
};

class ITrace {
public:
    virtual void Printf(unsigned int nCategory, const wchar_t* pszFormat, ...) = 0;
    virtual void VPrintf(unsigned int nCategory, const wchar_t* pszFormat, va_list args) = 0;
    virtual void Dump(unsigned int nCategory, const wchar_t* pszTitle, const void* pData, unsigned int cbData,
                      unsigned int nFlags) = 0;
    virtual ITrace& operator<<(bool bValue) = 0;
    virtual ITrace& operator<<(float fValue) = 0;
    virtual ITrace& operator<<(int nValue) = 0;
    virtual ITrace& operator<<(unsigned int nValue) = 0;
    virtual ITrace& operator<<(long nValue) = 0;
    virtual ITrace& operator<<(unsigned long nValue) = 0;
    virtual ITrace& operator<<(unsigned short nValue) = 0;
    virtual ITrace& operator<<(short nValue) = 0;
    virtual ITrace& operator<<(unsigned char nValue) = 0;
    virtual ITrace& operator<<(char nValue) = 0;
    virtual ITrace& operator<<(const wchar_t* pszText) = 0;
    virtual ITrace& operator<<(const char* pszText) = 0;
    virtual void SetCategory(unsigned int nCategory) = 0;
    virtual void Manipulator(unsigned int nCode) = 0;
    virtual void SetIntegerFormat(unsigned int nBits) = 0;
    virtual void SetFloatFormat(unsigned int nBits) = 0;
    virtual bool IsLinePending() = 0;

    // Conveniences that add no operation of their own.
    ITrace& operator<<(double dValue) { return *this << static_cast<float>(dValue); }
    ITrace& operator<<(const std::wstring& strText) { return *this << strText.c_str(); }

protected:
    ~ITrace() = default;
};

// A manipulator in a stream: trace << L"text" << KvBase::TraceEndl.
struct CTraceManipulator {
    unsigned int nCode;
};
inline ITrace& operator<<(ITrace& trace, CTraceManipulator m) {
    trace.Manipulator(m.nCode);
    return trace;
}
const CTraceManipulator TraceEndl = {TraceEndLine};
const CTraceManipulator TraceLastErrorText = {TraceLastError};
const CTraceManipulator TraceTid = {TraceThreadId};

// A tracer that writes nothing.
class CKvTraceNull : public ITrace {
public:
    void Printf(unsigned int, const wchar_t*, ...) override {}
    void VPrintf(unsigned int, const wchar_t*, va_list) override {}
    void Dump(unsigned int, const wchar_t*, const void*, unsigned int, unsigned int) override {}
    ITrace& operator<<(bool) override { return *this; }
    ITrace& operator<<(float) override { return *this; }
    ITrace& operator<<(int) override { return *this; }
    ITrace& operator<<(unsigned int) override { return *this; }
    ITrace& operator<<(long) override { return *this; }
    ITrace& operator<<(unsigned long) override { return *this; }
    ITrace& operator<<(unsigned short) override { return *this; }
    ITrace& operator<<(short) override { return *this; }
    ITrace& operator<<(unsigned char) override { return *this; }
    ITrace& operator<<(char) override { return *this; }
    ITrace& operator<<(const wchar_t*) override { return *this; }
    ITrace& operator<<(const char*) override { return *this; }
    void SetCategory(unsigned int) override {}
    void Manipulator(unsigned int) override {}
    void SetIntegerFormat(unsigned int) override {}
    void SetFloatFormat(unsigned int) override {}
    bool IsLinePending() override { return false; }
    virtual ~CKvTraceNull() = default;
    using ITrace::operator<<;
};

// The module's tracer that writes nothing (one per module, built when it is loaded).
CKvTraceNull& GetNullTrace();

class CKvTrace : public ITrace {
public:
    // The local machine's key of the trace settings.
    static const wchar_t kSettingsKey[];

    explicit CKvTrace(const wchar_t* pszModuleName);
    // Reads the settings from another key under HKEY_LOCAL_MACHINE (tests use a key of their own).
    CKvTrace(const wchar_t* pszModuleName, const wchar_t* pszSettingsKey);

    void Printf(unsigned int nCategory, const wchar_t* pszFormat, ...) override;
    void VPrintf(unsigned int nCategory, const wchar_t* pszFormat, va_list args) override;
    void Dump(unsigned int nCategory, const wchar_t* pszTitle, const void* pData, unsigned int cbData,
              unsigned int nFlags) override;
    ITrace& operator<<(bool bValue) override;
    ITrace& operator<<(float fValue) override;
    ITrace& operator<<(int nValue) override;
    ITrace& operator<<(unsigned int nValue) override;
    ITrace& operator<<(long nValue) override;
    ITrace& operator<<(unsigned long nValue) override;
    ITrace& operator<<(unsigned short nValue) override;
    ITrace& operator<<(short nValue) override;
    ITrace& operator<<(unsigned char nValue) override;
    ITrace& operator<<(char nValue) override;
    ITrace& operator<<(const wchar_t* pszText) override;
    ITrace& operator<<(const char* pszText) override;
    void SetCategory(unsigned int nCategory) override;
    void Manipulator(unsigned int nCode) override;
    void SetIntegerFormat(unsigned int nBits) override;
    void SetFloatFormat(unsigned int nBits) override;
    bool IsLinePending() override;
    using ITrace::operator<<;

    virtual ~CKvTrace();
    // Starts the registry watcher, which reads the settings again after each change of the key.
    virtual int StartListen();
    virtual void StopListen();
    // Nonzero when the settings key could be opened (the settings then changed); else 0.
    virtual int ReadSettings();
    virtual bool IsActive();
    virtual bool IsCategoryEnabled(unsigned int nCategory);
    virtual bool IsContext(unsigned int nContext);
    // Writes a finished line to the configured outputs.
    virtual void Output(unsigned int nCategory, const std::wstring& strLine);
    // The finished line: prefixes by the parameter mask, the category's mark, the text and CR LF.
    virtual void FormatLine(std::wstring& strOut, unsigned int nCategory, const SYSTEMTIME& stLocal,
                            const wchar_t* pszText);

    // Creates the missing folders of a file path (paths up to 519 characters); the last part is
    // taken as the file name. True when all folders exist afterwards.
    static bool CreatePathFolders(const wchar_t* pszPath);
    // The text of a 32-bit value under a format word (radix, minimum width, system message).
    static std::wstring IntegerText(unsigned int nValue, unsigned int nFormat);

    const std::wstring& GetModuleName() const { return m_strModule; }
    unsigned int GetEnableMask() const { return m_nEnableMask; }
    unsigned int GetParamsMask() const { return m_nParamsMask; }
    unsigned int GetContextMask() const { return m_nContextMask; }
    unsigned int GetCommonFileFlag() const { return m_nCommonFileFlag; }
    std::wstring GetFilePath();

protected:
    // Whether the process runs as the local system account (break requests then go to the
    // debugger instead of a message box).
    virtual bool IsLocalSystem();
    // Shows a break request to the user: a message box without owner, captioned with the module.
    virtual void ShowBreakMessage(const std::wstring& strLine);
    // The lock of this module's writers of the trace file.
    CWin32Mutex& FileLock() { return m_mxFile; }

private:
    class CListenThread : public CWin32Thread {
    public:
        ~CListenThread() override { StopAndWait(); }
        DWORD Run() override;
        std::wstring m_strKey;
    };

    class CWin32Console : public CWin32Handle {
    public:
        CWin32Console() = default;
        ~CWin32Console() override { Close(); }
        void Close() override;
        virtual bool Open(const wchar_t* pszTitle);
        virtual void WriteW(const wchar_t* pszText);
        virtual void WriteA(const char* pszText);
        virtual void SetInvalid() { m_hHandle = INVALID_HANDLE_VALUE; }
        virtual void SetNull() { m_hHandle = nullptr; }

    private:
        bool HasHandle() const { return m_hHandle != INVALID_HANDLE_VALUE && m_hHandle != nullptr; }
        bool m_bAllocated = false;
    };

    void Construct();
    void StartRun();
    void WriteLine(unsigned int nCategory, const std::wstring& strText, const SYSTEMTIME& stLocal);
    void WriteToFile(const std::wstring& strLine);
    bool OpenTraceFile(CWin32File& file, const std::wstring& strPath, bool bAlwaysNormal);
    void AppendText(const std::wstring& strText);
    void AppendInteger(unsigned int nValue);
    bool IsThreadCategoryEnabled();

    std::wstring m_strModule;
    std::atomic<unsigned int> m_nEnableMask{0};
    std::atomic<unsigned int> m_nParamsMask{0};
    std::atomic<unsigned int> m_nContextMask{0};
    std::atomic<unsigned int> m_nCommonFileFlag{0};
    std::wstring m_strFilePath;
    CWin32Mutex m_mxFile;
    CListenThread m_thListen;
    CWin32Console m_console;
    std::wstring m_strSettingsKey;
    CWin32CriticalSection m_csPath; // the file path, replaced by a re-read on the watcher thread
};

// A function scope: "Function(file#line)" and "{" on entry, "}" on exit, at category 0x2, indented
// by the module's nesting depth (one '.' per level, shared by all threads of the module).
class CTraceScope {
public:
    // On the module's tracer, theTrace.
    CTraceScope(const std::wstring& strFunction, const std::wstring& strFile, int nLine);
    // On another tracer.
    CTraceScope(ITrace& trace, const std::wstring& strFunction, const std::wstring& strFile, int nLine);
    ~CTraceScope();
    CTraceScope(const CTraceScope&) = delete;
    CTraceScope& operator=(const CTraceScope&) = delete;

    // One formatted line at the category, behind the scope's indent and a blank.
    void Print(unsigned int nCategory, const wchar_t* pszFormat, ...);

    // The module's nesting depth.
    static long GetDepth();

private:
    void Enter(const std::wstring& strFunction, const std::wstring& strFile, int nLine);
    void ComputeIndent();
    bool IsActive(unsigned int nCategory);

    ITrace* m_pTrace;
    std::wstring m_strIndent;
};

} // namespace KvBase

// The module's tracer, defined by the module with KVBASE_DEFINE_TRACE.
extern KvBase::CKvTrace theTrace;

#define KVBASE_DEFINE_TRACE(moduleName) KvBase::CKvTrace theTrace(moduleName)
