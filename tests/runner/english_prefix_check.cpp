// Checks the prefix that `wine-run --codepage 1252` sets up: an English system's code pages, so
// that the scenarios run there (*.cp1252) do not pass on a Japanese one.
#include <windows.h>

#include <gtest/gtest.h>

TEST(Prefix, EnglishCodePage) {
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_EQ(GetOEMCP(), 437u);
}
