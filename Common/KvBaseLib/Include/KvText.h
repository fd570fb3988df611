// Upper-casing of texts, in the ways the programs compare names without regard to case. Each way
// keeps the length of the text (one character for one).
//   UpperCase...       the system's simple case mapping (CharUpperBuffW), the same in every locale:
//                      file names, paths, registry keys, variable names and the like.
//   UpperCaseCrt       the C runtime's towupper under the runtime's current locale.
//   UpperCaseInvariant the invariant locale's mapping (LCMapStringEx with LCMAP_UPPERCASE).
// And the texts of a module's string table.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace KvBase {

// `count` characters from `text` on, in place.
void UpperCaseChars(wchar_t* text, size_t count);
// The text from `start` on, in place (nothing when `start` is at or past its end).
void UpperCaseInPlace(std::wstring& text, size_t start = 0);
std::wstring UpperCase(std::wstring text);

std::wstring UpperCaseCrt(std::wstring text);

// The text unchanged when the system cannot map it.
std::wstring UpperCaseInvariant(const wchar_t* text, size_t count);

// The text of the id in the module's string table, whole (it may hold nulls); empty when the
// table has no such text.
std::wstring ModuleText(HINSTANCE module, UINT id);

} // namespace KvBase
