// Dependent modules of an executable, found by the module dependency finder (linkwalk64.dll).
#include "CmdInternal.h"

#include "linkwalk.h"

namespace KvCmdSequence {
namespace Detail {

void AppendDependentModules(const std::wstring& modulePath, std::list<ScsResource>& out) {
    // One finder per module: it initialises COM on this thread for its life.
    Depends::CDepps finder;
    finder.AddModule(modulePath, modulePath, 1);
    for (const auto& found : finder.m_found)
        out.emplace_back(found.second, SCS_FILE);
}

} // namespace Detail
} // namespace KvCmdSequence
