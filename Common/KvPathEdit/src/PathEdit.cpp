// Path fields that filter what the user types.
#include "PathEdit.h"

#include <cwchar>
#include <memory>

wchar_t* PathEditFilter(wchar_t* text) {
    if (!text)
        return nullptr;
    bool changed = false;
    size_t out = 0;
    for (size_t in = 0; text[in]; ++in) {
        wchar_t c = text[in];
        if (c == L'/') {
            c = L'\\';
            changed = true;
        } else if (c == L'|' || c == L'<' || c == L'>' || c == L'?' || c == L'*' || (c == L':' && in != 1)) {
            changed = true;
            continue;
        }
        text[out++] = c;
    }
    text[out] = L'\0';
    return changed ? text : nullptr;
}

wchar_t* GetDlgItemTextFiltered(HWND dlg, int id, int maxChars, PathTextFilter filter) {
    HWND edit = ::GetDlgItem(dlg, id);
    if (!edit || maxChars < 1)
        return nullptr;
    LRESULT limit = ::SendMessageW(edit, EM_GETLIMITTEXT, 0, 0);
    if (limit > maxChars - 1)
        ::SendMessageW(edit, EM_SETLIMITTEXT, (WPARAM)(maxChars - 1), 0);
    // A longer text (pasted before the limit was lowered, or set by a program) is cut to what
    // is read, so the field never shows more than the path that is taken from it.
    bool cut = ::GetWindowTextLengthW(edit) > maxChars - 1;
    std::unique_ptr<wchar_t[]> text(new wchar_t[maxChars]);
    text[0] = L'\0';
    ::GetWindowTextW(edit, text.get(), maxChars);
    text[maxChars - 1] = L'\0';
    bool changed = filter && filter(text.get()) != nullptr;
    if (changed || cut) {
        DWORD start = 0, end = 0;
        ::SendMessageW(edit, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
        ::SetWindowTextW(edit, text.get());
        start = start > 0 ? start - 1 : 0;
        end = end > 0 ? end - 1 : 0;
        ::SendMessageW(edit, EM_SETSEL, start, end);
        ::MessageBeep(MB_ICONEXCLAMATION);
    }
    return text.release();
}

std::wstring GetDlgItemTextFilteredString(HWND dlg, int id, int maxChars, PathTextFilter filter) {
    std::unique_ptr<wchar_t[]> text(GetDlgItemTextFiltered(dlg, id, maxChars, filter));
    return text ? std::wstring(text.get()) : std::wstring();
}
