// What the tests of the program's real main window share: the board folder on drive C: of the test
// prefix, the frame made from the program's resources and torn down again, the board's list files
// read as lines, and the model as text that does not depend on IDs or times.
#pragma once

#include <gtest/gtest.h>

#include "DaVIdevaRez.h"
#include "DiskQuery.h"
#include "IChDataModel.h"
#include "MainFrm.h"
#include "kvcmdui.h"
#include "resource.h"
#include "ViewsTestSupport.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace KvFrameTest {

// Drive C: is the only drive and a local hard disk: the board folder is C:\Varno.
class CStoreOnC : public CDriveAnswers {
public:
    DWORD LogicalDriveStrings(DWORD size, wchar_t* buffer) override {
        const wchar_t all[] = L"C:\\\0";
        if (size < 5)
            return 5;
        std::copy(all, all + 5, buffer);
        return 4;
    }
    int IsLocalHardDisk(wchar_t letter) override { return letter == L'C' || letter == L'c'; }
};

// Deletes the files of the board folder (the tests of the prefix expect it without a store).
inline void EmptyBoardFolder() {
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW(L"C:\\Varno\\*", &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ::DeleteFileW((std::wstring(L"C:\\Varno\\") + fd.cFileName).c_str());
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
}

// The non-empty lines of a text, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            out.push_back(line);
    }
    return out;
}

// The model's nodes as text that does not depend on IDs or times: type, name, SubType and the
// names of the members.
inline std::wstring ModelText(CIChDataModel& m) {
    std::wostringstream out;
    for (int type : {NodeTypeSubject, NodeTypeJob, NodeTypeTask, NodeTypeGroup, NodeTypeResource}) {
        std::vector<std::wstring> rows;
        for (CIChNode* n : *m.GetNodeList(type)) {
            std::wostringstream row;
            row << type << L" " << n->m_Name << L" sub=" << GetNodeSubType(n);
            if (type == NodeTypeResource)
                row << L" res=" << static_cast<CIChResorce*>(n)->m_SubType << L" ctl="
                    << static_cast<CIChResorce*>(n)->m_Controlled;
            std::vector<std::wstring> members;
            for (CIChNode* mem : n->m_Members)
                members.push_back(mem->m_Name);
            std::sort(members.begin(), members.end());
            row << L" {";
            for (auto& s : members)
                row << s << L";";
            row << L"}";
            rows.push_back(row.str());
        }
        std::sort(rows.begin(), rows.end());
        for (auto& r : rows)
            out << r << L"\n";
    }
    return out.str();
}

// The program's frame (of the test's class) made, shown and destroyed again.
template <class Frame>
struct CFrameHolder {
    Frame* frame = nullptr;

    // Makes the frame; its posted category and first restore run before this returns.
    void OpenFrame() {
        frame = new Frame;
        ASSERT_TRUE(frame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW));
        theApp.m_pMainWnd = frame;
        frame->ShowWindow(SW_SHOWNOACTIVATE);
        Pump();
    }
    void CloseFrame() {
        if (!frame)
            return;
        theApp.m_pMainWnd = nullptr;
        frame->m_Model.m_bModified = 0;
        frame->DestroyWindow();
        delete frame;
        frame = nullptr;
        Pump();
    }
    void Send(UINT id) { frame->SendMessage(WM_COMMAND, id, 0); }
    bool Enabled(UINT id) { return KvTest::CommandEnabled(frame, id); }
    // The command as a person chooses it from a menu or the toolbar: sent only while it is
    // enabled (false, and nothing sent, when it is not).
    bool SendEnabled(UINT id) {
        if (!Enabled(id))
            return false;
        Send(id);
        return true;
    }
};

} // namespace KvFrameTest
