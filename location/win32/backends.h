// The Win32 backends of the location interfaces: the registry over ADVAPI32, drive types and
// folder listings over KERNEL32 and USER32. A program installs them before it uses a settings
// store or the search.
#pragma once

#include "location/listing_api.h"
#include "location/registry_api.h"

RegistryApi& Win32Registry();
DriveTypeApi& Win32DriveTypes();
ListingApi& Win32Listing();

// Makes the Win32 backends the ones every settings store and search uses.
void UseWin32LocationBackends();
