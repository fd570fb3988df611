#include "ValueClasses.h"

#include <objbase.h>

namespace VRBase {

bool CGuid::FromString(const wchar_t* text) {
    m_bValid = text && ::CLSIDFromString(const_cast<LPOLESTR>(text), &m_guid) == S_OK;
    return m_bValid;
}

} // namespace VRBase
