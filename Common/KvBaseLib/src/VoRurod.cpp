// The error object and the message-text lookup.
#include "VoRurod.h"

#include <cwchar>

namespace KvBase {

namespace {

const LANGID kRussian = 1049;
const LANGID kUsEnglish = 0x409;

// "<0x%08X>" of the id, cut to the buffer.
void WritePlaceholder(DWORD dwId, wchar_t* pszBuffer, DWORD cchBuffer) {
    wchar_t sz[16];
    _snwprintf(sz, 16, L"<0x%08X>", dwId);
    sz[15] = L'\0';
    lstrcpynW(pszBuffer, sz, static_cast<int>(cchBuffer));
}

} // namespace

CVoRurod::CVoRurod(int nCode, const wchar_t* pszFile, int nLine, const wchar_t* pszFunction) : m_nCode(nCode) {
    m_mapFields[L"File"] = pszFile ? pszFile : L"???";
    m_mapFields[L"Line"] = std::to_wstring(nLine);
    m_mapFields[L"Function"] = pszFunction ? pszFunction : L"???";
    ExtendDebugInformation(*this, 0, 0);
}

CVoRurod::CVoRurod(int nCode) : m_nCode(nCode) { ExtendDebugInformation(*this, 0, 0); }

CVoRurod::~CVoRurod() = default;

const wchar_t* CVoRurod::GetField(const std::wstring& strName) const {
    auto it = m_mapFields.find(strName);
    return it == m_mapFields.end() ? nullptr : it->second.c_str();
}

const wchar_t* CVoRurod::GetMessage() {
    if (!m_strMessage.empty())
        return m_strMessage.c_str();
    wchar_t szText[256];
    if (FormatErrorMessage(GetCode(), szText, 256) != 0) {
        m_strMessage = szText; // the placeholder with the code
        return m_strMessage.c_str();
    }
    std::wstring strText = szText;
    size_t nMarks = 0;
    for (wchar_t ch : strText)
        if (ch == L'%')
            ++nMarks;
    if (nMarks == 0) {
        m_strMessage = strText;
    } else if (nMarks == m_vecInserts.size()) {
        std::vector<DWORD_PTR> vecArgs;
        for (const auto& s : m_vecInserts)
            vecArgs.push_back(reinterpret_cast<DWORD_PTR>(s.c_str()));
        wchar_t* pszOut = nullptr;
        DWORD cch =
            FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                           strText.c_str(), 0, 0, reinterpret_cast<wchar_t*>(&pszOut), 256,
                           reinterpret_cast<va_list*>(vecArgs.data()));
        m_strMessage = (cch != 0 && pszOut) ? std::wstring(pszOut, cch) : strText;
        if (pszOut)
            LocalFree(pszOut);
    } else {
        for (size_t i = 0; i < strText.size(); ++i) {
            if (strText[i] == L'%') {
                strText[i] = L'.';
                if (i + 1 < strText.size())
                    strText[++i] = L'.';
            }
        }
        m_strMessage = strText;
    }
    return m_strMessage.c_str();
}

const wchar_t* CVoRurod::GetFields() {
    if (m_strFields.empty()) {
        std::wstring s;
        for (const auto& f : m_mapFields) {
            s += f.first;
            s += L'\0';
            s += f.second;
            s += L'\0';
        }
        s += L'\0';
        m_strFields = s;
    }
    return m_strFields.c_str();
}

const wchar_t* CVoRurod::GetText() {
    if (m_strText.empty()) {
        wchar_t szCode[16];
        _snwprintf(szCode, 16, L"%x", static_cast<unsigned int>(GetCode()));
        szCode[15] = L'\0';
        std::wstring s = L"Code: 0x";
        s += szCode;
        s += L"\r\nDescription: ";
        s += GetMessage();
        s += L"\r\n";
        for (const auto& f : m_mapFields) {
            if (f.first == L"Stack")
                continue;
            s += f.first + L": " + f.second + L"\r\n";
        }
        m_strText = s;
    }
    return m_strText.c_str();
}

const wchar_t* CVoRurod::GetTextWithStack() {
    if (m_strTextWithStack.empty()) {
        std::wstring s = GetText();
        for (const auto& f : m_mapFields)
            if (f.first == L"Stack")
                s += f.first + L": " + f.second + L"\r\n";
        m_strTextWithStack = s;
    }
    return m_strTextWithStack.c_str();
}

void ExtendDebugInformation(CVoRurod& /*error*/, int /*nReserved1*/, int /*nReserved2*/) {
    // Nothing to add in these builds: the code, file, line and function say where the error arose.
}

DWORD LoadMessageText(const wchar_t* pszModule, DWORD dwMessageId, wchar_t* pszBuffer, DWORD cchBuffer) {
    if (!pszBuffer || cchBuffer == 0)
        return ERROR_INVALID_PARAMETER;
    WritePlaceholder(dwMessageId, pszBuffer, cchBuffer);

    HMODULE hModule = nullptr;
    DWORD dwFlags = FORMAT_MESSAGE_IGNORE_INSERTS;
    if (pszModule && *pszModule) {
        hModule = LoadLibraryExW(pszModule, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (!hModule) {
            // No such message file: the placeholder stands (never the program's own table).
            DWORD dwErr = GetLastError();
            return dwErr ? dwErr : ERROR_MOD_NOT_FOUND;
        }
        dwFlags |= FORMAT_MESSAGE_FROM_HMODULE;
    } else {
        dwFlags |= FORMAT_MESSAGE_FROM_SYSTEM;
    }

    // Into a buffer of our own, so that a failed attempt never spoils the placeholder.
    std::vector<wchar_t> vecText(cchBuffer, L'\0');
    DWORD cch = FormatMessageW(dwFlags, hModule, dwMessageId, kRussian, vecText.data(), cchBuffer, nullptr);
    if (cch == 0)
        cch = FormatMessageW(dwFlags, hModule, dwMessageId, 0, vecText.data(), cchBuffer, nullptr);
    if (cch == 0 && GetLastError() == ERROR_MR_MID_NOT_FOUND)
        // Language 0 may settle on one table (Wine takes the thread's language when the module
        // has it) and miss a text that only the neutral or English table holds; Windows' own
        // order for 0 ends with US English, which reaches them.
        cch = FormatMessageW(dwFlags, hModule, dwMessageId, kUsEnglish, vecText.data(), cchBuffer, nullptr);
    DWORD dwResult = cch != 0 ? 0 : GetLastError();
    if (dwResult == 0 && cch == 0)
        dwResult = ERROR_MR_MID_NOT_FOUND;
    if (hModule)
        FreeLibrary(hModule);
    if (dwResult != 0)
        return dwResult;

    std::wstring strText(vecText.data(), cch < cchBuffer ? cch : cchBuffer - 1);
    size_t nCr = strText.rfind(L'\r');
    if (nCr != std::wstring::npos)
        strText.erase(nCr);
    lstrcpynW(pszBuffer, strText.c_str(), static_cast<int>(cchBuffer));
    return 0;
}

DWORD FormatErrorMessage(int nCode, wchar_t* pszBuffer, DWORD cchBuffer) {
    if (!pszBuffer || cchBuffer == 0)
        return ERROR_INVALID_PARAMETER;
    DWORD dwCode = static_cast<DWORD>(nCode);
    if (nCode == -1)
        dwCode = static_cast<DWORD>(E_UNEXPECTED);
    const wchar_t* pszModule = nullptr;
    if ((dwCode & 0x06000000) == 0x06000000)
        pszModule = L"VoRurod.dll";
    else if ((dwCode & 0xFFFFF000) == 0x80005000 || (dwCode & 0xFFFFF000) == 0x00005000)
        pszModule = L"ActiveDS.dll";
    else if ((dwCode & 0xFFFF0000) == 0xC0020000)
        pszModule = L"NtDll.dll";
    return LoadMessageText(pszModule, dwCode, pszBuffer, cchBuffer);
}

std::wstring FormatErrorMessage(int nCode) {
    wchar_t szText[1024];
    FormatErrorMessage(nCode, szText, 1024);
    return szText;
}

} // namespace KvBase
