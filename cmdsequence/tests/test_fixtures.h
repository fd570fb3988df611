// Fixtures of the command-sequence tests: scratch folders and registry keys of this test program.
#pragma once

#include "KvCmdSequence.h"
#include "kvtest.h"

#include <list>
#include <string>
#include <vector>

namespace KvTest {

// The test program's scratch folder is KvTest::TestTmp() of the shared test helpers.
// A drive name ("P:") that no drive uses, from P: to Y:; empty when all are taken.
std::wstring FreeDriveName();

// Creates `root` and below it each entry of `entries`: a name ending in "\" is a directory, any
// other a small file. Folders on the way are created.
void MakeTree(const std::wstring& root, const std::vector<std::wstring>& entries);
// The sample tree of the disk tests: a.txt, b.exe, c.dll, Alpha\x.exe, Alpha\y.txt,
// Alpha\Deep\z.dll, Beta\w.exe and the empty folder Empty, made afresh.
void MakeSampleTree(const std::wstring& root);
// Removes a folder with everything in it.
void RemoveTree(const std::wstring& root);

// A registry key of this test program, by default under
// HKEY_CURRENT_USER\Software\KvCmdSequenceTests; emptied when made and deleted with the object.
class CRegFixture {
public:
    explicit CRegFixture(const std::wstring& name, const std::wstring& parent = L"Software\\KvCmdSequenceTests");
    ~CRegFixture();
    CRegFixture(const CRegFixture&) = delete;
    CRegFixture& operator=(const CRegFixture&) = delete;

    // "HKEY_CURRENT_USER\<parent>\<name>"
    const std::wstring& Path() const { return m_path; }
    // Sets a value in the key or in a subkey below it (created on the way); `bytes` as stored.
    void SetRaw(const std::wstring& subkey, const std::wstring& value, DWORD type, const void* data, DWORD bytes) const;
    void SetString(const std::wstring& subkey, const std::wstring& value, const std::wstring& text) const;
    void CreateKey(const std::wstring& subkey) const;

private:
    std::wstring m_sub;  // below HKEY_CURRENT_USER
    std::wstring m_path; // with the root's name
};

// A command with the given fields; the defaults are those of a command read from a buffer.
KvCmdSequence::SOneCmd Cmd(const std::wstring& name, int type = 0, int excl = 0, int rec = 0, int deps = 0,
                           const std::wstring& root = L"", const std::wstring& dirs = L"*",
                           const std::wstring& files = L"*");

// Paths of a resource list, each prefixed by its kind: "F:", "D:", "K:", "V:".
std::vector<std::wstring> Describe(const std::list<KvCmdSequence::ScsResource>& list);
// The same, sorted, for results whose order the file system decides.
std::vector<std::wstring> DescribeSorted(const std::list<KvCmdSequence::ScsResource>& list);

// Narrow text of a wide one, for failure messages.
std::string Narrow(const std::wstring& text);

} // namespace KvTest
