// What a new scenario object reads from the system once: the environment variables that paths are
// written with, the drive and share aliases of this computer (through the path-alias library the
// model shares), and the extensions of executables; and the one reading that the objects made
// inside a machine-view scope share.
#include "CmdInternal.h"

#include "CmdText.h"
#include "KvPathAliases.h"

#include <memory>

namespace KvCmdSequence {

namespace {

const wchar_t kExecutableExtensionList[] =
    L".exe; .dll; .cpl; .drv; .sys; .ocx; .vbs; .scr; .rll; .ime; .bpl; .ax; .acm; .com; .ppl; .cmd; .bat";

// The reading shared inside the scopes: the number of live scopes and, once the first object in
// them was made, what it read.
struct SMachineView {
    std::map<std::wstring, std::wstring> envVars, drives, shares;
    std::list<std::wstring> extensions;
};
SRWLOCK g_viewLock = SRWLOCK_INIT;
long g_viewScopes = 0;
std::shared_ptr<const SMachineView> g_view;

class CViewLock {
public:
    CViewLock() { AcquireSRWLockExclusive(&g_viewLock); }
    ~CViewLock() { ReleaseSRWLockExclusive(&g_viewLock); }
    CViewLock(const CViewLock&) = delete;
    CViewLock& operator=(const CViewLock&) = delete;
};

} // namespace

CMachineViewScope::CMachineViewScope() {
    CViewLock lock;
    ++g_viewScopes;
}

CMachineViewScope::~CMachineViewScope() {
    std::shared_ptr<const SMachineView> last;
    CViewLock lock;
    if (--g_viewScopes == 0)
        last.swap(g_view); // freed after the lock is released
}

void CCmdSequence::InitFromMachineView() {
    std::shared_ptr<const SMachineView> view;
    {
        CViewLock lock;
        if (g_viewScopes > 0 && g_view)
            view = g_view;
    }
    if (!view) {
        InitEnvVariables();
        InitInternalMaps();
        InitExtensionList();
        CViewLock lock;
        if (g_viewScopes > 0 && !g_view) {
            auto kept = std::make_shared<SMachineView>();
            kept->envVars = m_mapEnvVars;
            kept->drives = m_mapDrives;
            kept->shares = m_mapShares;
            kept->extensions = m_lstExtensions;
            g_view = std::move(kept);
        }
    } else {
        m_mapEnvVars = view->envVars;
        m_mapDrives = view->drives;
        m_mapShares = view->shares;
        m_lstExtensions = view->extensions;
    }
}

void CCmdSequence::InitEnvVariables() { m_mapEnvVars = KvPathAliases::ReadPathVariables(); }

void CCmdSequence::InitExtensionList() {
    for (std::wstring& extension : Text::SplitRuns(kExecutableExtensionList, L";, "))
        m_lstExtensions.push_back(std::move(extension));
}

void CCmdSequence::InitInternalMaps() {
    m_mapDrives = KvPathAliases::ReadDriveAliases();
    m_mapShares = KvPathAliases::ReadShareAliases();
}

} // namespace KvCmdSequence
