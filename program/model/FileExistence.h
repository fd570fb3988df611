// Whether the files of many stored resources exist, answered from one listing of each folder that
// holds several of them instead of one request per file (a request costs tens of microseconds, a
// store holds 100 000 files). An answer the listings cannot give for certain is left to the item.
//
// The listings are made on a thread of their own while the store file is read: the object is the
// store reader's watcher (IStoreReadWatcher), told of each resource as it is read, and a folder is
// listed as soon as the file has named kListFrom of its files. Settle, after the open, waits for
// that thread and checks that the resources it was told of are the ones that will be asked about,
// in the same order; when they are not (a provider that tells nothing, a store reopened), they are
// noted again there and each folder is listed when its first file is asked about.
#pragma once

#include "VCore.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

// What a listing of a folder found.
enum class FolderListing {
    Listed,  // entries hold every entry of the folder
    Missing, // no such folder, or one without any entry: none of its files exists
    Unknown, // the listing failed or was stopped: the files are asked about one by one
};
// The entries of a folder by their upper-cased names, kept in one text and one list (a listing
// made while the store file is read takes no memory for each entry).
class CFolderEntries {
public:
    // Adds an entry, upper-cased as strupper does; of entries of one name the first counts.
    void Add(const wchar_t* name, bool directory);
    // Orders the entries for Find (which does so itself when they are not).
    void Sort();
    // -1 no entry of the upper-cased name, 0 a file, 1 a directory.
    int Find(const std::wstring& upperName);
    void Clear();

private:
    struct SEntry {
        size_t offset, length;
        bool directory;
    };
    std::wstring m_text;
    std::vector<SEntry> m_entries;
    bool m_sorted = true;
};
// Lists a folder (upper-cased, with its final backslash) into entries. May give up with Unknown
// once stop is set.
typedef std::function<FolderListing(const std::wstring& folder, CFolderEntries& entries, const std::atomic<bool>& stop)>
    CFolderLister;

// The file system's listing of a folder (FindFirstFileEx).
FolderListing ListFolder(const std::wstring& folder, CFolderEntries& entries, const std::atomic<bool>& stop);

class CFileExistence final : public Varno::IStoreReadWatcher {
public:
    explicit CFileExistence(CFolderLister lister = ListFolder);
    // Stops the listing thread when a load ends early (a listing under way gives up) and waits for it.
    ~CFileExistence();
    CFileExistence(const CFileExistence&) = delete;
    CFileExistence& operator=(const CFileExistence&) = delete;

    // A resource whose existence the listings may know: a controlled file.
    static bool IsListedKind(const Varno::SmartPtr<Varno::IResource>& resource);

    // The reading thread: a resource as the store's reader has made it.
    void ResourceRead(const Varno::SmartPtr<Varno::IResource>& resource) override;

    // After the open, before the first Next: the resources of the listed kind that will be asked
    // about, in their order. Waits for the listings made while the file was read.
    void Settle(const std::vector<Varno::SmartPtr<Varno::IResource>>& asked);
    // For the next resource of Settle's list: 1 the file exists and is no directory, 0 it does not
    // exist, -1 not known here.
    int Next();

    // Whether Settle took the resources told of while the file was read (and so the listings made
    // meanwhile), and how many folders were listed in all.
    bool TookToldResources() const { return m_tookTold; }
    size_t ListedFolders() const { return m_listedFolders; }

private:
    static const int kListFrom = 8; // fewer files than this are asked for one by one
    struct SFolder {
        FolderListing state = FolderListing::Unknown;
        bool listed = false;
        int resources = 0;
        std::wstring path; // upper-cased, with its final backslash
        CFolderEntries entries;
    };
    struct SNoted {
        SFolder* folder; // null: not a plain path
        size_t offset;   // the upper-cased file name in m_names
        size_t length;
    };

    // Counts the resource's folder and notes its file name; the folder, or null.
    SFolder* Note(const std::wstring& name);
    void List(SFolder& f);
    void Forget();
    // The listing thread: notes the resources told of, listing each folder at its kListFrom'th file.
    void Run();
    void Take();
    // Hands the resources gathered on the reading thread to the listing thread.
    void Hand(bool last);

    CFolderLister m_lister;
    std::atomic<bool> m_stop{false};

    // The reading thread's own.
    std::vector<Varno::SmartPtr<Varno::IResource>> m_gathered;
    bool m_failed = false; // no listing thread could be had: Settle notes the resources itself

    // Shared under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Varno::SmartPtr<Varno::IResource>> m_inbox;
    bool m_closed = false;

    std::thread m_thread;
    std::atomic<bool> m_runFailed{false};
    // The listing thread's until Settle has waited for it, then the asking thread's.
    std::vector<Varno::SmartPtr<Varno::IResource>> m_told; // of the listed kind, in order
    std::unordered_map<std::wstring, SFolder> m_folders;
    std::vector<SNoted> m_noted;
    std::wstring m_names;             // the noted file names one after another
    std::wstring m_name, m_folderKey; // reused for each resource
    std::wstring m_lastFolderText;    // the folder part of the last name as it was written
    SFolder* m_lastFolder = nullptr;  // its folder
    std::wstring m_fileKey;           // reused for each look-up
    size_t m_next = 0;
    size_t m_listedFolders = 0;
    bool m_tookTold = false;
};
