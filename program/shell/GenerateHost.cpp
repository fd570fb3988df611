// The generators' host record from the application object and the main window.
#include "GenerateHost.h"

#include "DaVIdevaRez.h"
#include "MainFrm.h"

SGenerateHost MakeGenerateHost(CMainFrame* frame) {
    SGenerateHost host;
    host.hMainWnd = frame ? frame->m_hWnd : nullptr;
    host.pModel = frame ? &frame->m_Model : nullptr;
    host.bAddDepends = theApp.m_bAddDepends;
    host.bUpdatePresent = theApp.m_bUpdatePresent;
    host.strExeExtensions = theApp.m_strExeExtensions;
    host.bShowResults = frame ? frame->m_bShowResults : 0;
#ifdef _WIN64
    host.bIs64BitWindows = 1;
#else
    BOOL wow = FALSE;
    host.bIs64BitWindows = ::IsWow64Process(::GetCurrentProcess(), &wow) && wow ? 1 : 0;
#endif
    host.strUserSid = theApp.GetCurrentUserSidString();
    host.IsFileExist = [](const wchar_t* path) { return theApp.IsFileExist(path); };
    return host;
}
