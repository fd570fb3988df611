// Module paths in normal form, registry texts read by their declared types, and the binary of a
// service.
#include "KvOsTemplates.h"

#include <vector>

#include "Internal.h"

using OsTemplates::Env;
using OsTemplates::FileExists;
using OsTemplates::Lower;

namespace {

const DWORD MaxRegData = 64 * 1024;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

std::wstring ExpandVariables(const std::wstring& text) {
    DWORD need = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (!need || need > 32768)
        return text;
    std::vector<wchar_t> buffer(need + 1, L'\0');
    DWORD got = ::ExpandEnvironmentStringsW(text.c_str(), buffer.data(), need + 1);
    return got && got <= need + 1 ? std::wstring(buffer.data()) : text;
}

// A lower-case reference without quotes and arguments made into a full path where it can be.
std::wstring ResolveReference(const std::wstring& text) {
    if (text.size() > 2 && text[1] == L':')
        return text;
    const std::wstring root = Lower(Env(L"SystemRoot"));
    std::wstring result;
    if (StartsWith(text, L"%systemroot%"))
        result = root + text.substr(12);
    else if (StartsWith(text, L"%windir%"))
        result = root + text.substr(8);
    else if (StartsWith(text, L"system32\\"))
        result = root + L"\\" + text;
    else if (StartsWith(text, L"\\systemroot\\"))
        result = root + text.substr(11);
    else if (StartsWith(text, L"\\??\\"))
        result = text.substr(4);
    else if (!text.empty() && text[0] == L'%' && text.find(L'%', 1) != std::wstring::npos)
        result = ExpandVariables(text);
    else {
        wchar_t found[520] = {};
        wchar_t* part = nullptr;
        DWORD n = ::SearchPathW(nullptr, text.c_str(), nullptr, 520, found, &part);
        result = n && n < 520 ? std::wstring(found, n) : text;
    }
    return Lower(result);
}

bool HasExtension(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    size_t dot = path.rfind(L'.');
    return dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
}

// An unquoted command line split into the program and its arguments the way Windows starts it:
// the whole text when it names a file; else the shortest part up to a blank that names a file
// (as it stands or with ".exe" added when it has no extension); else the part up to the first blank.
void SplitUnquoted(const std::wstring& text, std::wstring& program, std::wstring& arguments) {
    program = ResolveReference(text);
    arguments.clear();
    if (text.find(L' ') == std::wstring::npos || FileExists(program))
        return;
    for (size_t blank = text.find(L' '); blank != std::wstring::npos; blank = text.find(L' ', blank + 1)) {
        const std::wstring part = text.substr(0, blank);
        if (part.empty())
            continue;
        std::wstring candidate = ResolveReference(part);
        if (!FileExists(candidate) && !HasExtension(part)) {
            const std::wstring withExe = ResolveReference(part + L".exe");
            if (FileExists(withExe))
                candidate = withExe;
        }
        if (FileExists(candidate)) {
            program = candidate;
            arguments = text.substr(blank + 1);
            return;
        }
    }
    const size_t first = text.find(L' ');
    program = ResolveReference(text.substr(0, first));
    arguments = text.substr(first + 1);
}

// Program and arguments of a lower-cased command line.
void SplitCommandLine(const std::wstring& raw, std::wstring& program, std::wstring& arguments) {
    std::wstring text = Lower(raw);
    // A quoted program ends at its closing quote, whatever follows (a last argument may be quoted too).
    if (text.size() > 2 && text[0] == L'"' && (text.back() != L'"' || text.find(L'"', 1) != text.size() - 1)) {
        size_t close = text.find(L'"', 1);
        program = ResolveReference(text.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
        arguments = close == std::wstring::npos ? std::wstring() : text.substr(close + 1);
        return;
    }
    size_t begin = text.find_first_not_of(L'"');
    size_t end = text.find_last_not_of(L'"');
    text = begin == std::wstring::npos ? std::wstring() : text.substr(begin, end - begin + 1);
    SplitUnquoted(text, program, arguments);
}

std::wstring Trim(const std::wstring& text, const wchar_t* chars) {
    size_t begin = text.find_first_not_of(chars);
    if (begin == std::wstring::npos)
        return std::wstring();
    return text.substr(begin, text.find_last_not_of(chars) - begin + 1);
}

bool IsRundll32(const std::wstring& program) {
    size_t slash = program.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? program : program.substr(slash + 1);
    return name == L"rundll32.exe" || name == L"rundll32";
}

} // namespace

bool ReadRegStrings(HKEY key, const wchar_t* valueName, std::vector<std::wstring>& texts) {
    texts.clear();
    DWORD type = 0, size = 0;
    if (!key || ::RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    if ((type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) || size > MaxRegData)
        return false;
    // One character more than the data, zero-filled: the text ends inside the buffer whatever was
    // stored (an odd byte count or a missing terminator included).
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
    DWORD got = size;
    if (::RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got) !=
            ERROR_SUCCESS ||
        got > size || (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ))
        return false;
    const size_t chars = got / sizeof(wchar_t);
    if (type != REG_MULTI_SZ) {
        texts.push_back(std::wstring(buffer.data(), wcsnlen(buffer.data(), chars)));
        return true;
    }
    for (size_t i = 0; i < chars;) {
        size_t n = wcsnlen(buffer.data() + i, chars - i);
        if (n)
            texts.push_back(std::wstring(buffer.data() + i, n));
        i += n + 1;
    }
    return true;
}

bool ReadRegText(HKEY key, const wchar_t* valueName, std::wstring& text) {
    std::vector<std::wstring> texts;
    if (!ReadRegStrings(key, valueName, texts) || texts.empty())
        return false;
    text = texts.front();
    return true;
}

std::wstring NormalizeModulePath(const std::wstring& raw) {
    std::wstring program, arguments;
    SplitCommandLine(raw, program, arguments);
    return program;
}

std::wstring CommandLineModule(const std::wstring& raw) {
    std::wstring program, arguments;
    SplitCommandLine(raw, program, arguments);
    if (!IsRundll32(program))
        return program;
    // rundll32 <library>,<entry> [arguments]: the library is what it loads.
    std::wstring library = Trim(arguments, L" \t");
    if (library.empty())
        return program;
    if (library[0] == L'"') {
        size_t close = library.find(L'"', 1);
        library = library.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    } else {
        library = library.substr(0, library.find(L','));
    }
    library = Trim(library.substr(0, library.find(L',')), L" \t\"");
    return library.empty() ? program : NormalizeModulePath(library);
}

std::wstring GetServiceBinaryPath(const wchar_t* serviceName, const QUERY_SERVICE_CONFIGW* config) {
    if (!config)
        return std::wstring();
    const std::wstring name = serviceName ? serviceName : L"";
    const std::wstring binary = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
    std::wstring result;
    if (!binary.empty()) {
        if (StartsWith(binary, L"\\??\\"))
            result = Lower(binary.substr(4));
        else
            result = NormalizeModulePath(binary);
        if (result.find(L"\\svchost") != std::wstring::npos && !name.empty()) {
            // A service of the shared service host: the module it really runs is its ServiceDll.
            HKEY key = nullptr;
            const std::wstring parameters = L"SYSTEM\\CurrentControlSet\\Services\\" + name + L"\\Parameters";
            if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, parameters.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
                std::wstring dll;
                if (ReadRegText(key, L"ServiceDll", dll) && !dll.empty())
                    result = NormalizeModulePath(dll);
                ::RegCloseKey(key);
            }
        }
    } else {
        result = Env(L"SystemRoot") + L"\\system32\\drivers\\" + name + L".sys";
    }
    return Lower(result);
}
