// The application title rule.
#include "ui/app_title.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_names.h"

namespace {

struct TitleCase {
  const char* path;
  const char* title;
};

class ApplicationTitle : public ::testing::TestWithParam<TitleCase> {};

TEST_P(ApplicationTitle, FormedFromTheExecutableName) {
  EXPECT_EQ(ApplicationTitleFromPath(GetParam().path), GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ApplicationTitle,
    ::testing::Values(TitleCase{"C:\\app\\SETUP.exe", "Setup"}, TitleCase{"C:\\app\\UPDATE.EXE", "Update"},
                      TitleCase{"C:\\app\\a.b.exe", "a"}, TitleCase{"SETUP.EXE", "Setup"},
                      TitleCase{"C:\\x.y\\Setup", "Setup"}, TitleCase{"C:\\app\\.exe", ""},
                      TitleCase{"", ""}, TitleCase{"C:\\app\\mIxEd-Case_1.exe", "mixed-case_1"},
                      // "ソ" (83 5C) ends in a backslash byte: the folder must not be cut there.
                      TitleCase{"C:\\ソフト\\SETUP.exe", "Setup"}, TitleCase{"C:\\app\\ソft.exe", "ソft"},
                      // A double-byte first character stays whole ("ア" is 83 41: its trail is "A").
                      TitleCase{"C:\\app\\アSETUP.exe", "アsetup"},
                      // Trail bytes in the 0x41-0x5A range are not letters to fold.
                      TitleCase{"C:\\app\\Sアップ.exe", "Sアップ"}),
    [](const auto& info) { return testing_names::TextName(info.param.path); });

// Only the first 255 bytes of the path count: a name that ends at byte 255 is kept whole (and
// only ".exe" goes), one that runs past it is cut there.
TEST(ApplicationTitleLength, FirstTwoHundredFiftyFiveBytesOfThePath) {
  const std::string folder = "C:\\" + std::string(100, 'F') + "\\";
  EXPECT_EQ(ApplicationTitleFromPath(folder + std::string(151, 'S') + ".exe"), "S" + std::string(150, 's'));
  EXPECT_EQ(ApplicationTitleFromPath(folder + std::string(170, 'S') + ".exe"), "S" + std::string(150, 's'));
}

}  // namespace
