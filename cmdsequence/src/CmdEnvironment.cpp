// What a new scenario object reads from the system once: the environment variables that paths are
// written with, the drive and share aliases of this computer (through the path-alias library the
// model shares), and the extensions of executables.
#include "CmdInternal.h"

#include "CmdText.h"
#include "KvPathAliases.h"

namespace KvCmdSequence {

namespace {

const wchar_t kExecutableExtensionList[] =
    L".exe; .dll; .cpl; .drv; .sys; .ocx; .vbs; .scr; .rll; .ime; .bpl; .ax; .acm; .com; .ppl; .cmd; .bat";

} // namespace

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
