// The application title rule.
#include "ui/app_title.h"

#include <gtest/gtest.h>

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
                      TitleCase{"C:\\ソフト\\SETUP.exe", "Setup"},
                      // A double-byte first character stays whole ("ア" is 83 41: its trail is "A").
                      TitleCase{"C:\\app\\アSETUP.exe", "アsetup"},
                      // Trail bytes in the 0x41-0x5A range are not letters to fold.
                      TitleCase{"C:\\app\\Sアップ.exe", "Sアップ"}));

}  // namespace
