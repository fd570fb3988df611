// The libraries that the program links from outside its own code: the hardware inventory, the
// store provider and the dependency finder. The application object reaches them through one
// object, so that start-up and shutdown call them in a fixed order (and tests can follow it).
#pragma once

#include <windows.h>

class CStoreHolder;

class COutsideLibraries {
public:
    virtual ~COutsideLibraries() = default;

    virtual void AttachInventory(); // VDeviceInfo::Common::Attach
    virtual void AttachStore();     // Varno::Common::Attach
    virtual void AttachFinder();    // Depends::Common::Attach
    virtual void DetachStore();     // Varno::Common::Detach
    virtual void DetachFinder();    // Depends::Common::Detach
    virtual void DetachInventory(); // VDeviceInfo::Common::Detach

    // Every fixed physical disk that the inventory lists is recognised for work with the board
    // (1), or one is not (0). No disk at all gives 1.
    virtual int CheckDisks();
    // Varno::Common::CreateProvider into the holder; Varno::Common::DestroyProvider.
    virtual void CreateProvider(CStoreHolder& holder);
    virtual void DestroyProvider();
    // Varno::Common::GetVarnoDriveLetter: the letter under which the board sees the volume that
    // Windows names `letter`; 0 when it cannot tell.
    virtual int GetVarnoDriveLetter(wchar_t letter, wchar_t* boardLetter);
    // The process token's enabled groups hold the Administrators group.
    virtual int IsUserAdmin();
};

// The administrator test of the real process token.
int IsProcessUserAdmin();
