// Internal functions of KvCmdSequence64, shared by its sources and its white-box tests.
#pragma once

#include "KvCmdSequence.h"

#include <functional>
#include <list>
#include <string>
#include <vector>

namespace KvCmdSequence {
namespace Detail {

// 1 when the key or value path lies in one of the registry areas that the existence tests treat
// as absent (hardware, components, schema and the virtual stores).
int IsRegPathSkipped(const wchar_t* path);
// A copy of the current thread's or process's user SID (free with HeapFree(GetProcessHeap())).
int GetCurrentUserSid(PSID* out);
// The current user's SID in string form, or empty.
std::wstring GetCurrentUserSidString();

// The native key query as ntdll exports it.
typedef LONG(NTAPI* NtQueryKeyProc)(HANDLE key, int infoClass, void* buffer, ULONG length, ULONG* resultLength);
// Where IsRegKeyVirtual takes the query from: ntdll's "NtQueryKey" unless a test put another in.
// Returns the previous override (null for none).
NtQueryKeyProc SetNtQueryKeyOverride(NtQueryKeyProc proc);

// Appends to `out` what GetDiskObjectsList appends when it is called for each directory mask, for
// each file mask, in this order, with the same root and flags, walking the tree once: one listing
// per folder, the names tested against all masks in this process where that gives what the
// platform's search gives, and the search asked where it may not.
void CollectDiskObjects(const std::wstring& root, const std::vector<std::wstring>& dirMasks,
                        const std::vector<std::wstring>& fileMasks, int addDirs, int recursive,
                        std::list<ScsResource>& out);

// Removes the files whose names match none of the file masks and the directories whose names
// match none of the directory masks (IsPassMask); other kinds stay.
void FilterResourcesByMasks(std::list<ScsResource>& list, const std::vector<std::wstring>& dirMasks,
                            const std::vector<std::wstring>& fileMasks);

// Appends to `out` the full paths of the modules that the executable `modulePath` depends on, as
// the dependency finder reports them, each as SCS_FILE, in the finder's map order.
void AppendDependentModules(const std::wstring& modulePath, std::list<ScsResource>& out);

} // namespace Detail
} // namespace KvCmdSequence
