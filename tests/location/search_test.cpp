// The fixed-disk search over in-memory drives: walk order, paths, matching, winding down, aborts.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "base/failure.h"
#include "tests/location/memory_file_system.h"
#include "location/search.h"

namespace {

using Strings = std::vector<std::string>;

class SearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetSearchBackends(&fs, &fs);
    SetSearchProgressHook([this](const std::string& folder) {
      progress.push_back(folder);
      if (folder == abortAt) StopSearch = true;
    });
    FoundDir.clear();
    StopSearch = false;
  }
  void TearDown() override {
    SetSearchBackends(nullptr, nullptr);
    SetSearchProgressHook(nullptr);
    // Every listing is closed on every path.
    EXPECT_EQ(fs.OpenListings(), 0u);
  }

  bool Listed(const std::string& pattern) const {
    for (const std::string& p : fs.Listed())
      if (p == pattern) return true;
    return false;
  }

  MemoryFileSystem fs;
  Strings progress;
  std::string abortAt = "<never>";
};

TEST_F(SearchTest, MarkerInRootGivesRootWithOneBackslash) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddFile("C:\\MG_DATA.MBL");
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "C:\\");
  EXPECT_TRUE(StopSearch);
  EXPECT_EQ(progress, Strings{"C:\\"});
  EXPECT_EQ(fs.Listed(), Strings{"C:\\\\*.*"});
}

TEST_F(SearchTest, PathsBelowRootKeepDoubledBackslash) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddFile("C:\\readme.txt");
  fs.AddFile("C:\\Games\\Sub\\MG_DATA.MBL");
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "C:\\\\Games\\Sub");
  EXPECT_EQ(progress, (Strings{"C:\\", "C:\\\\Games", "C:\\\\Games\\Sub"}));
  EXPECT_EQ(fs.Listed(), (Strings{"C:\\\\*.*", "C:\\\\Games\\*.*", "C:\\\\Games\\Sub\\*.*"}));
}

TEST_F(SearchTest, ShiftJisFolderNamesWithTrailBackslash) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddFile("C:\\ソフト\\表\\MG_DATA.MBL");
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "C:\\\\ソフト\\表");
  EXPECT_EQ(progress, (Strings{"C:\\", "C:\\\\ソフト", "C:\\\\ソフト\\表"}));
}

struct NameCase {
  const char* what;
  std::string name;
  bool matches;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.what; }

class MarkerNameTest : public SearchTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(MarkerNameTest, MatchesAfterUpperCasingOnly) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddFile("C:\\Game\\" + GetParam().name);
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, GetParam().matches ? "C:\\\\Game" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Names, MarkerNameTest,
    ::testing::Values(NameCase{"upper", "MG_DATA.MBL", true}, NameCase{"lower", "mg_data.mbl", true},
                      NameCase{"mixed", "Mg_Data.Mbl", true}, NameCase{"suffix", "MG_DATA.MBL.bak", false},
                      NameCase{"short", "MG_DATA.MB", false}, NameCase{"leading_space", " MG_DATA.MBL", false},
                      NameCase{"second_archive", "mg_data2.mbl", false},
                      NameCase{"full_width", "ＭＧ＿ＤＡＴＡ．ＭＢＬ", false}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.what); });

TEST_F(SearchTest, FolderNamedLikeMarkerIsWalkedNotMatched) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddFolder("C:\\MG_DATA.MBL");
  fs.AddFile("C:\\MG_DATA.MBL\\other.txt");
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "");
  EXPECT_EQ(progress, (Strings{"C:\\", "C:\\\\MG_DATA.MBL"}));

  fs.AddFile("C:\\MG_DATA.MBL\\mg_data.mbl");
  progress.clear();
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "C:\\\\MG_DATA.MBL");
}

TEST_F(SearchTest, HiddenSystemAndDotNamesSearchedButNotDotEntries) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddFolder("C:\\.cache", faDirectory | faHidden);
  fs.AddFolder("C:\\.cache\\sys", faDirectory | faSysFile);
  fs.AddFile("C:\\.cache\\sys\\MG_DATA.MBL", faHidden | faSysFile | faReadOnly);
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "C:\\\\.cache\\sys");
  EXPECT_EQ(progress, (Strings{"C:\\", "C:\\\\.cache", "C:\\\\.cache\\sys"}));
}

// A folder whose name the system's code page cannot spell has no path the walk could take: the
// listing passes it over.
TEST_F(SearchTest, NamesTheCodePageCannotSpellAreNotWalked) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddFolder("C:\\Caf\xC3\xA9", faDirectory | faUnspellable);
  fs.AddFile("C:\\Caf\xC3\xA9\\MG_DATA.MBL");
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "");
  EXPECT_EQ(progress, Strings{"C:\\"});
}

TEST_F(SearchTest, OnlyFixedDisksAreSearchedInLetterOrder) {
  const std::pair<char, uint32_t> others[] = {{'A', kDriveRemovable}, {'D', kDriveCdrom}, {'E', kDriveRemote},
                                              {'F', kDriveRamdisk},   {'G', kDriveUnknown}, {'H', kDriveNoRootDir}};
  for (const auto& [letter, type] : others) {
    fs.AddDrive(letter, type);
    fs.AddFile(std::string(1, letter) + ":\\MG_DATA.MBL");
  }
  fs.AddDrive('C', kDriveFixed);
  fs.AddDrive('M', kDriveFixed);
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "");
  EXPECT_EQ(fs.Listed(), (Strings{"C:\\\\*.*", "M:\\\\*.*"}));

  fs.AddFile("Z:\\x\\MG_DATA.MBL");
  fs.AddDrive('Z', kDriveFixed);
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "Z:\\\\x");
}

TEST_F(SearchTest, FirstFixedDiskWithMarkerEndsSweep) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddDrive('D', kDriveFixed);
  fs.AddFile("C:\\Game\\MG_DATA.MBL");
  fs.AddFile("D:\\MG_DATA.MBL");
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "C:\\\\Game");
  for (const std::string& p : fs.Listed()) EXPECT_NE(p[0], 'D') << p;
}

TEST_F(SearchTest, MarkerBeforeSubfoldersEndsListing) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddFile("C:\\Game\\MG_DATA.MBL");
  fs.AddFolder("C:\\Game\\Later");
  fs.AddFile("C:\\Game\\Later\\MG_DATA.MBL");
  fs.AddFolder("C:\\Other");
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "C:\\\\Game");
  EXPECT_EQ(progress, (Strings{"C:\\", "C:\\\\Game"}));
}

TEST_F(SearchTest, UnlistableAndBrokenListingsAreSkippedSilently) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddFile("C:\\Locked\\MG_DATA.MBL");
  fs.DenyListing("C:\\Locked");
  fs.AddFile("C:\\Broken\\a.txt");
  fs.AddFile("C:\\Broken\\MG_DATA.MBL");
  fs.BreakListingAfter("C:\\Broken", 3);  // ".", "..", "a.txt"
  fs.AddFile("C:\\Next\\MG_DATA.MBL");
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "C:\\\\Next");
  EXPECT_EQ(progress, (Strings{"C:\\", "C:\\\\Locked", "C:\\\\Broken", "C:\\\\Next"}));
  EXPECT_TRUE(Listed("C:\\\\Locked\\*.*"));
}

// Winding down: levels still open after a match finish their own listings, comparing files only.
struct WindCase {
  const char* what;
  Strings files;  // added in this order (folders on the way are added as met)
  std::string found;
  Strings progress;
};

void PrintTo(const WindCase& c, std::ostream* os) { *os << c.what; }

class WindingDownTest : public SearchTest, public ::testing::WithParamInterface<WindCase> {};

TEST_P(WindingDownTest, LastMatchWhileUnwindingStays) {
  fs.AddDrive('C', kDriveFixed);
  for (const std::string& f : GetParam().files) {
    if (f.back() == '\\')
      fs.AddFolder(f.substr(0, f.size() - 1));
    else
      fs.AddFile(f);
  }
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, GetParam().found);
  EXPECT_EQ(progress, GetParam().progress);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindingDownTest,
    ::testing::Values(
        WindCase{"nearest_root_wins",
                 {"C:\\G\\Sub\\MG_DATA.MBL", "C:\\G\\MG_DATA.MBL", "C:\\MG_DATA.MBL"},
                 "C:\\",
                 {"C:\\", "C:\\\\G", "C:\\\\G\\Sub"}},
        WindCase{"middle_level_wins",
                 {"C:\\G\\Sub\\Deep\\MG_DATA.MBL", "C:\\G\\Sub\\After\\", "C:\\G\\mg_data.mbl", "C:\\x.txt"},
                 "C:\\\\G",
                 {"C:\\", "C:\\\\G", "C:\\\\G\\Sub", "C:\\\\G\\Sub\\Deep"}},
        WindCase{"first_walked_of_separate_paths_wins",
                 {"C:\\X\\Y\\MG_DATA.MBL", "C:\\Z\\MG_DATA.MBL"},
                 "C:\\\\X\\Y",
                 {"C:\\", "C:\\\\X", "C:\\\\X\\Y"}}),
    [](const ::testing::TestParamInfo<WindCase>& info) { return std::string(info.param.what); });

TEST_F(SearchTest, AbortStillListsCurrentFolderThenWindsDown) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddDrive('D', kDriveFixed);
  fs.AddFolder("C:\\A\\Inner");
  fs.AddFile("C:\\A\\Inner\\MG_DATA.MBL");
  fs.AddFile("C:\\A\\a.txt");
  fs.AddFile("C:\\B\\MG_DATA.MBL");
  fs.AddFile("D:\\MG_DATA.MBL");
  abortAt = "C:\\\\A";
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "");
  EXPECT_EQ(progress, (Strings{"C:\\", "C:\\\\A"}));
  EXPECT_EQ(fs.Listed(), (Strings{"C:\\\\*.*", "C:\\\\A\\*.*"}));
}

TEST_F(SearchTest, AbortEndsWithFolderWhenOpenLevelListsMarkerLater) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddDrive('D', kDriveFixed);
  fs.AddFolder("C:\\Top\\A");
  fs.AddFolder("C:\\Top\\B");
  fs.AddFile("C:\\Top\\B\\MG_DATA.MBL");
  fs.AddFile("C:\\Top\\MG_DATA.MBL");
  fs.AddFile("D:\\MG_DATA.MBL");
  abortAt = "C:\\\\Top\\A";
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "C:\\\\Top");
  EXPECT_EQ(progress, (Strings{"C:\\", "C:\\\\Top", "C:\\\\Top\\A"}));
}

TEST_F(SearchTest, AbortedSweepPassesOverRemainingDisks) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddDrive('D', kDriveFixed);
  fs.AddFile("D:\\MG_DATA.MBL");
  abortAt = "C:\\";
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "");
  EXPECT_EQ(progress, Strings{"C:\\"});
  EXPECT_EQ(fs.Listed(), Strings{"C:\\\\*.*"});
}

TEST_F(SearchTest, WalkEntryConditions) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddFile("C:\\MG_DATA.MBL");
  SearchFolder("");
  StopSearch = true;
  SearchFolder("C:\\");
  EXPECT_TRUE(progress.empty());
  EXPECT_TRUE(fs.Listed().empty());
  EXPECT_EQ(FoundDir, "");
}

TEST_F(SearchTest, SweepClearsPreviousResultAndStop) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddFolder("C:\\Empty");
  FoundDir = "C:\\old\\";
  StopSearch = true;
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "");
  EXPECT_FALSE(StopSearch);
  EXPECT_EQ(progress, (Strings{"C:\\", "C:\\\\Empty"}));
}

TEST_F(SearchTest, MissingRootOfFixedDiskIsSkipped) {
  fs.AddDrive('C', kDriveFixed);
  fs.DenyListing("C:");
  fs.AddDrive('D', kDriveFixed);
  fs.AddFile("D:\\MG_DATA.MBL");
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "D:\\");
  EXPECT_EQ(progress, (Strings{"C:\\", "D:\\"}));
}

TEST_F(SearchTest, LoopingLinkEndsAtPathLimit) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddLink("C:\\loop", "C:\\");
  fs.AddFile("C:\\z.txt");
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "");
  ASSERT_GT(progress.size(), 20u);
  // The walk went as deep as the limit allows and no further.
  EXPECT_GT(fs.Listed().back().size(), MemoryFileSystem::kMaxPattern);
  EXPECT_EQ(progress.size(), fs.Listed().size());
}

TEST_F(SearchTest, FailureInProgressHookEndsSweepWithListingsClosed) {
  fs.AddDrive('C', kDriveFixed);
  fs.AddFile("C:\\A\\B\\C\\x.txt");
  SetSearchProgressHook([](const std::string& folder) {
    if (folder == "C:\\\\A\\B\\C") throw EOutOfMemory();
  });
  EXPECT_THROW(SearchFixedDisks(), EOutOfMemory);
  EXPECT_EQ(fs.Listed().size(), 3u);
}

}  // namespace

namespace {

// A machine without fixed disks: the sweep ends at once, with no progress text and nothing
// listed, so the finder can show its not-found notice straight away.
TEST_F(SearchTest, NoFixedDiskEndsAtOnceWithoutProgress) {
  fs.AddDrive('A', kDriveRemovable);
  fs.AddFile("A:\\MG_DATA.MBL");
  fs.AddDrive('D', kDriveCdrom);
  fs.AddDrive('E', kDriveRemote);
  SearchFixedDisks();
  EXPECT_EQ(FoundDir, "");
  EXPECT_TRUE(progress.empty());
  EXPECT_TRUE(fs.Listed().empty());
}

}  // namespace
