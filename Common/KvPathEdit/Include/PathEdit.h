// Path fields that filter what the user types: the characters a file path may not hold are taken
// out as they are typed, '/' becomes '\', and a ':' stays only as the drive's colon.
#pragma once

#include <windows.h>

#include <string>

// A filter for GetDlgItemTextFiltered: changes the text in place and returns it when it changed
// anything, else null.
typedef wchar_t* (*PathTextFilter)(wchar_t* text);

// '/' becomes '\'; '|', '<', '>', '?' and '*' are dropped; ':' is dropped except at index 1.
wchar_t* PathEditFilter(wchar_t* text);

// Reads an edit control's text through a filter. The edit's length limit is lowered to
// maxChars - 1 when it is higher and at most maxChars - 1 characters are read. When the filter
// changed the text, or the control held more than fits, the text is put back into the control,
// the caret and selection move one position to the left and the system beeps. Returns a new
// array of maxChars characters (free it with delete[]), or null when maxChars is below 1 or the
// control does not exist.
wchar_t* GetDlgItemTextFiltered(HWND dlg, int id, int maxChars, PathTextFilter filter);

// The same, as a string.
std::wstring GetDlgItemTextFilteredString(HWND dlg, int id, int maxChars, PathTextFilter filter);
