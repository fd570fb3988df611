// Built when the dependency finder is not part of the tree: no dependent module can be found, so
// a collected executable stands in the module list alone (as one that the finder cannot read).
#include "CmdInternal.h"

namespace KvCmdSequence {
namespace Detail {

void AppendDependentModules(const std::wstring&, std::list<ScsResource>&)
{
}

} // namespace Detail
} // namespace KvCmdSequence
