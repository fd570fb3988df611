// A folder tree of many empty files for the benchmarks that need resources that exist: a hundred
// folders of equal share under one root, every third file an ".exe"; made once for a count and
// kept for the next run.
#pragma once

#include "IChDataModel.h"

#include <windows.h>

#include <cstdio>
#include <string>

const int kFolders = 100;

inline std::wstring FilePath(const std::wstring& root, int i, int perFolder) {
    wchar_t name[64];
    swprintf(name, 64, L"\\sub%03d\\file%06d.%ls", i / perFolder, i, i % 3 == 0 ? L"exe" : L"txt");
    return root + name;
}

// The folder tree on disk (made once for the count, kept for the next run).
inline bool MakeTree(const std::wstring& root, int count, int perFolder) {
    ::CreateDirectoryW(root.c_str(), nullptr);
    if (::GetFileAttributesW(FilePath(root, count - 1, perFolder).c_str()) != INVALID_FILE_ATTRIBUTES &&
        ::GetFileAttributesW(FilePath(root, count, perFolder).c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    for (int f = 0; f * perFolder < count; ++f) {
        wchar_t sub[32];
        swprintf(sub, 32, L"\\sub%03d", f);
        ::CreateDirectoryW((root + sub).c_str(), nullptr);
    }
    for (int i = 0; i < count; ++i) {
        HANDLE h =
            ::CreateFileW(FilePath(root, i, perFolder).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        ::CloseHandle(h);
    }
    return true;
}

// The root of the tree of that many files in the temporary folder.
inline std::wstring BenchTreeRoot(int count) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"kv_bulk_bench_" + std::to_wstring(count);
}

// The root of the tree for that count, made when it is not on disk yet; empty (and said on the error
// output) when it could not be made.
inline std::wstring BenchTreeMade(int count, int perFolder) {
    const std::wstring root = BenchTreeRoot(count);
    if (MakeTree(root, count, perFolder))
        return root;
    fprintf(stderr, "the folder tree could not be made\n");
    return std::wstring();
}

// The files of the tree as resources of the model, in groups of 1000 under this computer's job of
// the second edition (the model is made new first).
inline void FillBenchModel(CIChDataModel& model, const std::wstring& root, int count, int perFolder) {
    model.NewModel(1, JobSecondEdition);
    CIChNode* job = model.m_Jobs.front();
    CIChRGroup* group = nullptr;
    for (int i = 0; i < count; ++i) {
        if (i % 1000 == 0) {
            group = static_cast<CIChRGroup*>(model.CreateNode(NodeTypeGroup));
            group->m_Id = model.TakeNextId(NodeTypeGroup);
            group->SetName(L"G" + std::to_wstring(i / 1000));
            group->LinkTo(job);
        }
        CIChResorce* r = static_cast<CIChResorce*>(model.CreateNode(NodeTypeResource));
        r->SetSubType(ResFile);
        r->SetName(FilePath(root, i, perFolder));
        r->m_Id = model.TakeNextId(NodeTypeResource);
        r->LinkTo(group);
    }
}
