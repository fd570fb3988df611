// Tokens of registry value paths. A registry value is named in a resource path as its key path, a
// backslash and the value's name; since that name may itself hold backslashes, or be the unnamed
// default value, two GUID literals stand in for them. The main program and KvCmdSequence64 write and
// read value paths with the same tokens, so both include this header.
#pragma once

#include <windows.h>

// Stands for the unnamed default value of a key: "HKEY_CURRENT_USER\Software\X\{C51B...}".
inline constexpr wchar_t RegDefaultValueToken[] = L"{C51BADB1-F859-4c8e-B5F7-CD2223F03917}";

// Stands for each backslash inside a value's name: the value a\b is written "a{E688...}b".
inline constexpr wchar_t RegBackslashToken[] = L"{E688BBB6-B0B7-4310-86EB-E0C9D15DBD6A}";

// Lengths in characters, without the terminating zero.
inline constexpr unsigned RegDefaultValueTokenLength = sizeof(RegDefaultValueToken) / sizeof(wchar_t) - 1;
inline constexpr unsigned RegBackslashTokenLength = sizeof(RegBackslashToken) / sizeof(wchar_t) - 1;

// The five root keys by their full names, in the order the registry browsers show them.
struct RegRootKey {
    const wchar_t* name;
    HKEY key;
};
inline const RegRootKey RegRootKeys[5] = {{L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                                          {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                                          {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                                          {L"HKEY_USERS", HKEY_USERS},
                                          {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}};
