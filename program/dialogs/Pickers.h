// The resource pickers, as the resource dialog and the object commands call them:
//   dlgBrowseRegistry   a registry key, or a value, in token form (BrowseRegistry.h);
//   dlgBrowseDevice     PCI devices, SMBIOS tables and fields (BrowseDevice.h);
//   dlgBrowseDiskSector disk sectors (BrowseDiskSector.h);
//   dlgAddResources     bulk resource creation, operation records for the caller (AddResources.h);
// the hardware and sector pickers return PickedEntry records, whose resource kind and parameters
// GetPickedEntryParams gives (PickerTreeDialog.h).
#pragma once

#include "AddResources.h"
#include "BrowseDevice.h"
#include "BrowseDiskSector.h"
#include "BrowseRegistry.h"
#include "PickerTreeDialog.h"
