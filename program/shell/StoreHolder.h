// The store provider that the application object keeps.
#pragma once

#include <VCore.h>

class CStoreHolder {
public:
    Varno::SmartPtr<Varno::IProvider> m_provider;
    bool Empty() const { return !m_provider; }
    void Reset() { m_provider = nullptr; }
};
