// The text shown for an error of no known kind, the same wherever the program reports one.
#pragma once

inline constexpr wchar_t kKvUnknownErrorText[] = L"Произошла неизвестная ошибка!";
