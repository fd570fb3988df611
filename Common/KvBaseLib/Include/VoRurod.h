// The error object of the base library: a Win32 error or HRESULT with the source file, line and
// function that raised it, optional message inserts and named fields, and the texts built from
// them on first request. Thrown by value and caught by reference inside one module; results cross
// module boundaries as integers, never as error objects.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace KvBase {

// Orders field names without regard to case, as lstrcmpiW does.
struct CNoCaseLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const { return lstrcmpiW(a.c_str(), b.c_str()) < 0; }
};

// What catch blocks and error dialogs read. The five operations keep their slot order.
// GetMessage is spelled through windows.h's macro (GetMessageW) everywhere: include <windows.h>
// before calling it, as this header does.
class IVoRurodW {
public:
    virtual int GetCode() const = 0;
    virtual const wchar_t* GetMessage() = 0;       // message text of the code
    virtual const wchar_t* GetFields() = 0;        // "name\0value\0...\0" closed by one more NUL
    virtual const wchar_t* GetText() = 0;          // code, description and fields but "Stack"
    virtual const wchar_t* GetTextWithStack() = 0; // GetText followed by the "Stack" field
    virtual ~IVoRurodW() {}
};

class CVoRurod : public IVoRurodW {
public:
    // An error raised at a place in the code: fields File, Line and Function ("???" for a null name).
    CVoRurod(int nCode, const wchar_t* pszFile, int nLine, const wchar_t* pszFunction);
    // An error made from a code alone, to describe it: no fields.
    explicit CVoRurod(int nCode);
    CVoRurod(const CVoRurod& other) = default;
    CVoRurod& operator=(const CVoRurod& other) = default;
    ~CVoRurod() override;

    int GetCode() const override { return m_nCode; }
    const wchar_t* GetMessage() override;
    const wchar_t* GetFields() override;
    const wchar_t* GetText() override;
    const wchar_t* GetTextWithStack() override;

    // The message text as a string (the same text GetMessage returns).
    const std::wstring& GetMessageString() {
        GetMessage();
        return m_strMessage;
    }

    // Changes the code; a text computed before keeps what it said.
    void SetCode(int nCode) { m_nCode = nCode; }
    // Message inserts %1, %2, ... in order; set them before the first GetMessage.
    void AddInsert(const std::wstring& strInsert) { m_vecInserts.push_back(strInsert); }
    // Sets (or replaces) a named field; names that differ only in case are one field.
    void SetField(const std::wstring& strName, const std::wstring& strValue) { m_mapFields[strName] = strValue; }
    // The value of a field, or null when there is none.
    const wchar_t* GetField(const std::wstring& strName) const;

protected:
    int m_nCode;
    std::wstring m_strMessage;
    std::vector<std::wstring> m_vecInserts;
    std::map<std::wstring, std::wstring, CNoCaseLess> m_mapFields;
    std::wstring m_strFields;
    std::wstring m_strText;
    std::wstring m_strTextWithStack;
};

// Per-build hook that the constructor calls last. This build adds no fields; a build that
// gathers debugging data would add "Address", "Source" or "Stack" here.
void ExtendDebugInformation(CVoRurod& error, int nReserved1, int nReserved2);

// The message text of a code into a caller's buffer of cchBuffer characters (terminator included):
// from VoRurod.dll (bits 25 and 26 set), ActiveDS.dll (0x5000-0x5FFF, 0x80005000-0x80005FFF),
// NtDll.dll (0xC002xxxx) or the system, Russian first, then the default languages; -1 counts as
// E_UNEXPECTED. Without a text the buffer holds "<0x%08X>". Returns 0 or a Win32 error code
// (87 for a null buffer or a size of 0).
DWORD FormatErrorMessage(int nCode, wchar_t* pszBuffer, DWORD cchBuffer);

// The text of a message id from a module's message table (opened as a data file), or from the
// system's with a null or empty module name. Cut at its last carriage return.
DWORD LoadMessageText(const wchar_t* pszModule, DWORD dwMessageId, wchar_t* pszBuffer, DWORD cchBuffer);

// FormatErrorMessage into a string (at most 1024 characters of text).
std::wstring FormatErrorMessage(int nCode);

} // namespace KvBase
