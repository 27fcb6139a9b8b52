// Checks the test Wine prefix itself: Japanese code page, no z: drive, drives typed as the
// runner was asked (tests/runner/CMakeLists.txt maps D: fixed, E: removable, F: optical, G: net).
#include <windows.h>

#include <gtest/gtest.h>

TEST(Prefix, JapaneseCodePage) { EXPECT_EQ(GetACP(), 932u); }

TEST(Prefix, NoHostDrive) {
  EXPECT_EQ(GetDriveTypeA("Z:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR)) << "z: is mapped; a sweep would walk the host";
}

TEST(Prefix, DriveTypesAsMapped) {
  EXPECT_EQ(GetDriveTypeA("D:\\"), static_cast<UINT>(DRIVE_FIXED));
  EXPECT_EQ(GetDriveTypeA("E:\\"), static_cast<UINT>(DRIVE_REMOVABLE));
  EXPECT_EQ(GetDriveTypeA("F:\\"), static_cast<UINT>(DRIVE_CDROM));
  EXPECT_EQ(GetDriveTypeA("G:\\"), static_cast<UINT>(DRIVE_REMOTE));
}
