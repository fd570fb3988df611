// The report file's text in the Russian ANSI code page (1251) that the templates declare
// (\ansicpg1251). A character the code page cannot hold becomes an RTF Unicode escape
// (\uN? with N the signed 16-bit code unit), so nothing turns into '?'.
#pragma once

#include <string>

namespace RtfText {
std::string ToRussianAnsi(const wchar_t* text, size_t length);
}
