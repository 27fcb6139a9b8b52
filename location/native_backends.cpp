// Platforms without the Win32 registry and file listing get in-memory ones, shared by the process.
#include "location/listing_api.h"
#include "location/memory_file_system.h"
#include "location/memory_registry.h"
#include "location/registry_api.h"

namespace {

MemoryFileSystem& SharedFileSystem() {
  static MemoryFileSystem fs;
  return fs;
}

}  // namespace

RegistryApi& PlatformRegistry() {
  static MemoryRegistry registry;
  return registry;
}

DriveTypeApi& PlatformDriveTypes() { return SharedFileSystem(); }

ListingApi& PlatformListing() { return SharedFileSystem(); }
