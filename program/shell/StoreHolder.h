// The store provider that the application object keeps.
#pragma once

#ifdef KV_HAVE_VCORE
#include <VCore.h>
#endif

class CStoreHolder {
public:
#ifdef KV_HAVE_VCORE
    Varno::SmartPtr<Varno::IProvider> m_provider;
    bool Empty() const { return !m_provider; }
    void Reset() { m_provider = nullptr; }
#else
    // Built without the store provider library: no provider can be had.
    bool Empty() const { return true; }
    void Reset() {}
#endif
};
