// The executable extensions: the setting "ExeExtensions" as a list, and the test that marks a new
// file resource "Выполняемый" when its file name ends in one of them. The one place of this rule
// for the resource dialog, the object commands and the task generators.
#pragma once

#include <list>
#include <string>

class CIChResorce;

// The setting's default.
#define KV_DEFAULT_EXE_EXTENSIONS                                                                                      \
    L".exe; .dll; .cpl; .drv; .sys; .ocx; .vbs; .scr; .rll; .ime; .bpl; .ax; .acm; .com; .ppl; .cmd; .bat"

// Splits an extension setting at ';', ',' and ' ', dropping empty pieces (entries keep their dot).
std::list<std::wstring> SplitExtensions(const std::wstring& setting);
// Whether the file name's extension (from its last '.', which must lie in the file name, not in a
// folder's name) equals an entry, without regard to case. A name without a dot never matches.
bool HasListedExtension(const std::wstring& path, const std::list<std::wstring>& extensions);
// Marks a file resource (SubType 0) executable when its name has a listed extension; true when
// it was marked. Other kinds and other names are left as they are.
bool MarkExecutableByExtension(CIChResorce& resource, const std::list<std::wstring>& extensions);
