// Folder chooser rules: folder creation with parents, drive parts, drive-list texts,
// folder-list lines and listing filters.
#include "dialogs/chooser_paths.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "base/failure.h"
#include "base/sjis.h"
#include "tests/location/memory_file_system.h"

namespace {

using chooser::DriveKind;
using chooser::FolderIcon;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// "ソ" (83 5C) and "表" (95 5C) end in a backslash byte; "ア" (83 41) ends in an "A" byte.
const std::string kSo = "ソ";
const std::string kHyo = "表";
const std::string kA = "ア";

// Everything up to and including the last "\" or ":"; empty when there is neither.
std::string ParentPart(const std::string& path) {
  size_t at = sjis::LastDelimiter("\\:", path);
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

// A file system of named folders; some names refuse to be created.
class FakeFolders : public chooser::FolderSystem {
 public:
  std::set<std::string> existing;
  std::set<std::string> refused;
  std::vector<std::string> made;  // every MakeDirectory call, in order

  bool DirectoryExists(const std::string& path) override { return existing.count(path) != 0; }
  bool MakeDirectory(const std::string& path) override {
    made.push_back(path);
    if (refused.count(path) != 0 || existing.count(ParentOf(path)) == 0) return false;
    existing.insert(path);
    return true;
  }

 private:
  // "C:\A\B" lives in "C:\A"; "C:\A" in the root "C:\".
  static std::string ParentOf(const std::string& path) {
    std::string parent = ParentPart(path);
    if (parent.size() > 3 && parent.back() == '\\') parent.pop_back();
    return parent;
  }
};

class CreateFolderTest : public ::testing::Test {
 protected:
  FakeFolders fs;
  void SetUp() override { fs.existing = {"C:\\", "C:\\Games", "sub"}; }
};

TEST_F(CreateFolderTest, EmptyPathFailsWithTheCreationMessage) {
  try {
    chooser::CreateFolder("", fs);
    FAIL() << "no failure raised";
  } catch (const EDirCreateError& e) {
    EXPECT_EQ(e.Message(), "ディレクトリを作成できません");
  }
  EXPECT_THAT(fs.made, IsEmpty());
}

TEST_F(CreateFolderTest, CreatesMissingParentsFirst) {
  EXPECT_TRUE(chooser::CreateFolder("C:\\Games\\X\\Y\\Z", fs));
  EXPECT_THAT(fs.made, ElementsAre("C:\\Games\\X", "C:\\Games\\X\\Y", "C:\\Games\\X\\Y\\Z"));
}

TEST_F(CreateFolderTest, RemovesOneTrailingBackslash) {
  EXPECT_TRUE(chooser::CreateFolder("C:\\New\\", fs));
  EXPECT_THAT(fs.made, ElementsAre("C:\\New"));
}

TEST_F(CreateFolderTest, StopsAtTheFirstFolderThatCannotBeCreated) {
  fs.refused = {"C:\\Games\\Locked"};
  EXPECT_FALSE(chooser::CreateFolder("C:\\Games\\Locked\\A\\B", fs));
  EXPECT_THAT(fs.made, ElementsAre("C:\\Games\\Locked"));
}

TEST_F(CreateFolderTest, MissingDriveGivesFalseWithoutFailure) {
  EXPECT_FALSE(chooser::CreateFolder("Q:\\Data\\Dir", fs));
  EXPECT_THAT(fs.made, ElementsAre("Q:\\Data"));
}

// Paths for which nothing is created and the walk counts as done.
TEST_F(CreateFolderTest, NothingToDo) {
  for (const char* path : {"C:\\Games", "C:\\Games\\", "C:\\", "C:", "ab", "a", "\\", "C:\\Games\\\\", "sub"}) {
    fs.made.clear();
    EXPECT_TRUE(chooser::CreateFolder(path, fs)) << path;
    EXPECT_THAT(fs.made, IsEmpty()) << path;
  }
}

TEST_F(CreateFolderTest, RelativeNameBelowAnExistingFolderIsCreated) {
  EXPECT_TRUE(chooser::CreateFolder("sub\\new", fs));
  EXPECT_THAT(fs.made, ElementsAre("sub\\new"));
}

// Walking up a relative name whose first folder is missing reaches an empty part.
TEST_F(CreateFolderTest, NewRelativeNameOfThreeBytesFails) {
  EXPECT_THROW(chooser::CreateFolder("abc", fs), EDirCreateError);
  EXPECT_THROW(chooser::CreateFolder("new\\deeper", fs), EDirCreateError);
  EXPECT_THROW(chooser::CreateFolder(kSo + "x", fs), EDirCreateError);
  EXPECT_THAT(fs.made, IsEmpty());
}

TEST_F(CreateFolderTest, TrailByteBackslashIsPartOfTheName) {
  // "C:\表" ends in the byte 5C but has no trailing backslash.
  EXPECT_TRUE(chooser::CreateFolder("C:\\" + kHyo, fs));
  EXPECT_TRUE(chooser::CreateFolder("C:\\" + kSo + "\\" + kHyo + "\\", fs));
  EXPECT_THAT(fs.made, ElementsAre("C:\\" + kHyo, "C:\\" + kSo, "C:\\" + kSo + "\\" + kHyo));
}

// The creation rule as first written, recursively: the walk must behave exactly like it.
bool ReferenceCreate(std::string path, chooser::FolderSystem& fs) {
  if (path.empty()) throw EDirCreateError();
  if (sjis::EndsWithBackslash(path)) path.pop_back();
  std::string parent = ParentPart(path);
  if (path.size() < 3 || parent == path || fs.DirectoryExists(path)) return true;
  if (!ReferenceCreate(parent, fs)) return false;
  return fs.MakeDirectory(path);
}

TEST_F(CreateFolderTest, MatchesTheRecursiveRuleOnGeneratedPaths) {
  const std::string pieces[] = {"a", "b", "\\", ":", kSo, kHyo, "C"};
  std::mt19937 random(12345);
  for (int round = 0; round < 20000; ++round) {
    std::string path;
    int n = static_cast<int>(random() % 10);
    for (int i = 0; i < n; ++i) path += pieces[random() % 7];
    FakeFolders walk, reference;
    walk.existing = reference.existing = {"C:\\", "a", "a\\b", kSo, "C:a"};
    if (random() % 3 == 0) walk.refused = reference.refused = {path.substr(0, path.size() / 2)};
    int walkResult, referenceResult;
    try {
      walkResult = chooser::CreateFolder(path, walk) ? 1 : 0;
    } catch (const EDirCreateError&) {
      walkResult = -1;
    }
    try {
      referenceResult = ReferenceCreate(path, reference) ? 1 : 0;
    } catch (const EDirCreateError&) {
      referenceResult = -1;
    }
    ASSERT_EQ(walkResult, referenceResult) << path;
    ASSERT_EQ(walk.made, reference.made) << path;
  }
}

// As deep as an edit box can hold: 16000 levels, each made once, parents first.
TEST(CreateFolderDepthTest, DeepTypedPathIsWalkedWithoutRecursion) {
  class Counting : public chooser::FolderSystem {
   public:
    size_t made = 0;
    size_t lastLength = 0;
    bool ordered = true;
    bool DirectoryExists(const std::string& path) override { return path == "C:"; }
    bool MakeDirectory(const std::string& path) override {
      ordered = ordered && path.size() > lastLength;
      lastLength = path.size();
      ++made;
      return true;
    }
  } fs;
  std::string path = "C:";
  for (int i = 0; i < 16000; ++i) path += "\\d";
  EXPECT_TRUE(chooser::CreateFolder(path, fs));
  EXPECT_EQ(fs.made, 16000u);
  EXPECT_TRUE(fs.ordered);
  EXPECT_EQ(fs.lastLength, path.size());
}

TEST(DrivePartTest, DriveLetterOrServerAndShare) {
  const struct {
    std::string path;
    std::string drive;
  } cases[] = {
      {"C:\\Games\\X", "C:"},
      {"C:\\", "C:"},
      {"C:", "C:"},
      {"C:foo", "C:"},
      {"abc", ""},
      {"", ""},
      {"a\\b", ""},
      {"C:\\" + kSo, "C:"},
      {"C:\\" + kSo + "\\x", "C:"},
      {kHyo + kSo, ""},
      {"\\\\server\\share\\dir", "\\\\server\\share"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(chooser::DrivePart(c.path), c.drive) << c.path;
  }
}

struct FakeDrive {
  DriveKind kind;
  std::optional<std::string> label;
  std::optional<std::string> remote;
};

class FakeDrives : public chooser::DriveSource {
 public:
  std::map<char, FakeDrive> drives;
  uint32_t extraBits = 0;
  std::vector<char> labelsRead;

  uint32_t LogicalDrives() override {
    uint32_t bits = extraBits;
    for (const auto& [letter, drive] : drives) bits |= 1u << (letter - 'a');
    return bits;
  }
  DriveKind KindOf(char letter) override {
    auto it = drives.find(letter);
    return it == drives.end() ? DriveKind::NoRootDir : it->second.kind;
  }
  std::optional<std::string> VolumeLabel(char letter) override {
    labelsRead.push_back(letter);
    return drives.at(letter).label;
  }
  std::optional<std::string> RemoteName(char letter) override { return drives.at(letter).remote; }
};

TEST(DriveListTest, EntriesPerDriveTypeInLetterOrder) {
  FakeDrives src;
  src.drives = {
      {'a', {DriveKind::Removable, "FLOPPY", std::nullopt}},
      {'c', {DriveKind::Fixed, "DATA", std::nullopt}},
      {'d', {DriveKind::CdRom, "GAME_DISC", std::nullopt}},
      {'e', {DriveKind::RamDisk, "", std::nullopt}},
      {'f', {DriveKind::Fixed, std::nullopt, std::nullopt}},
      {'g', {DriveKind::Remote, "NET", "\\\\SERVER\\Share"}},
      {'h', {DriveKind::Remote, "NetVol", std::nullopt}},
      {'i', {DriveKind::Unknown, "X", std::nullopt}},
      {'j', {DriveKind::NoRootDir, "Y", std::nullopt}},
      {'z', {DriveKind::Fixed, "Last", std::nullopt}},
  };
  src.extraBits = 0xFC000000u;  // bits above z mean nothing
  std::vector<std::string> texts;
  std::vector<DriveKind> kinds;
  for (const chooser::DriveEntry& e : chooser::ListDrives(src)) {
    texts.push_back(e.text);
    kinds.push_back(e.kind);
    EXPECT_EQ(e.letter, e.text[0]);
  }
  EXPECT_THAT(texts, ElementsAre("a:", "c: [data]", "d: [game_disc]", "e: []", "f: []",
                                 "g: \\\\server\\share", "h: [netvol]", "z: [last]"));
  EXPECT_THAT(kinds, ElementsAre(DriveKind::Removable, DriveKind::Fixed, DriveKind::CdRom, DriveKind::RamDisk,
                                 DriveKind::Fixed, DriveKind::Remote, DriveKind::Remote, DriveKind::Fixed));
  // A removable disk is never touched for its label (it may hold no disk).
  for (char letter : src.labelsRead) EXPECT_NE(letter, 'a');
}

TEST(DriveListTest, LowerCasingLeavesDoubleByteCharactersWhole) {
  FakeDrives src;
  src.drives = {{'c', {DriveKind::Fixed, kA + "B" + "ＤＡＴＡ", std::nullopt}},
                {'n', {DriveKind::Remote, std::nullopt, "\\\\PC\\" + kA + "X"}}};
  EXPECT_EQ(chooser::DriveEntryText('c', DriveKind::Fixed, src), "c: [" + kA + "bＤＡＴＡ]");
  EXPECT_EQ(chooser::DriveEntryText('n', DriveKind::Remote, src), "n: \\\\pc\\" + kA + "x");
}

std::vector<std::string> Names(const std::vector<SearchRec>& entries) {
  std::vector<std::string> out;
  for (const SearchRec& e : entries) out.push_back(e.Name);
  return out;
}

struct LineView {
  std::string text;
  std::string path;
  FolderIcon icon;
  int level;
  bool operator==(const LineView& o) const {
    return text == o.text && path == o.path && icon == o.icon && level == o.level;
  }
};

std::vector<LineView> View(const std::vector<chooser::FolderLine>& lines) {
  std::vector<LineView> out;
  for (const auto& l : lines) out.push_back({l.text.Bytes(), l.path, l.icon, l.level});
  return out;
}

void PrintTo(const LineView& l, std::ostream* os) {
  *os << "{" << l.text << ", " << l.path << ", " << static_cast<int>(l.icon) << ", " << l.level << "}";
}

TEST(FolderLinesTest, PathFoldersThenCurrentThenSortedSubfolders) {
  auto lines = View(chooser::FolderLines("C:\\Games\\X", {{"b"}, {"A"}, {"c"}}));
  EXPECT_THAT(lines, ElementsAre(LineView{"C:\\", "C:\\", FolderIcon::Open, 0},
                                 LineView{"Games", "C:\\Games", FolderIcon::Open, 1},
                                 LineView{"X", "C:\\Games\\X", FolderIcon::Current, 2},
                                 LineView{"A", "C:\\Games\\X\\A", FolderIcon::Closed, 3},
                                 LineView{"b", "C:\\Games\\X\\b", FolderIcon::Closed, 3},
                                 LineView{"c", "C:\\Games\\X\\c", FolderIcon::Closed, 3}));
}

TEST(FolderLinesTest, DriveRootIsTheCurrentLine) {
  auto lines = View(chooser::FolderLines("D:\\", {{"Program Files"}, {"app"}}));
  EXPECT_THAT(lines, ElementsAre(LineView{"D:\\", "D:\\", FolderIcon::Current, 0},
                                 LineView{"app", "D:\\app", FolderIcon::Closed, 1},
                                 LineView{"Program Files", "D:\\Program Files", FolderIcon::Closed, 1}));
  EXPECT_THAT(View(chooser::FolderLines("D:\\", {})),
              ElementsAre(LineView{"D:\\", "D:\\", FolderIcon::Current, 0}));
}

TEST(FolderLinesTest, TrailBytesDoNotSplitFolderNames) {
  auto lines = View(chooser::FolderLines("C:\\" + kSo + "\\" + kHyo, {{kSo}}));
  EXPECT_THAT(lines, ElementsAre(LineView{"C:\\", "C:\\", FolderIcon::Open, 0},
                                 LineView{kSo, "C:\\" + kSo, FolderIcon::Open, 1},
                                 LineView{kHyo, "C:\\" + kSo + "\\" + kHyo, FolderIcon::Current, 2},
                                 LineView{kSo, "C:\\" + kSo + "\\" + kHyo + "\\" + kSo, FolderIcon::Closed, 3}));
}

TEST(ListingFilterTest, FoldersAndFilesWithoutHiddenSystemOrDots) {
  const std::vector<SearchRec> listing = {
      {".", faDirectory},
      {"..", faDirectory},
      {"Saves", faDirectory},
      {"$Recycle", faDirectory | faHidden | faSysFile},
      {"cache", faDirectory | faHidden},
      {"boot", faDirectory | faSysFile},
      {"addons", faDirectory | faArchive},
      {"readme.txt", faArchive},
      {"MG_DATA.MBL", faReadOnly},
      {"desktop.ini", faArchive | faHidden | faSysFile},
      {"thumbs.db", faHidden},
      {"Game.exe", 0x80},
  };
  EXPECT_THAT(Names(chooser::VisibleSubfolders(listing)), ElementsAre("addons", "Saves"));
  EXPECT_THAT(chooser::VisibleFiles(listing),
              ElementsAre(SystemText("Game.exe"), SystemText("MG_DATA.MBL"), SystemText("readme.txt")));
}

// The chooser lists through the installed listing backend: everything is listed, hidden and
// system entries included (the lists filter), with or without a trailing backslash, and each
// listing is closed.
TEST(ListingFilterTest, ListEntriesGoesThroughTheInstalledBackend) {
  MemoryFileSystem fs;
  fs.AddDrive('C', kDriveFixed);
  fs.AddFolder("C:\\Game\\Saves");
  fs.AddFolder("C:\\Game\\cache", faDirectory | faHidden);
  fs.AddFile("C:\\Game\\desktop.ini", faHidden | faSysFile);
  fs.AddFile("C:\\Game\\readme.txt");
  fs.AddFile("C:\\top.txt");
  fs.DenyListing("C:\\Locked");
  SetSearchBackends(&fs, &fs);
  auto names = Names;
  EXPECT_THAT(names(chooser::ListEntries("C:\\Game")), ElementsAre(".", "..", "Saves", "cache", "desktop.ini", "readme.txt"));
  EXPECT_THAT(names(chooser::ListEntries("C:\\Game\\")), ElementsAre(".", "..", "Saves", "cache", "desktop.ini", "readme.txt"));
  EXPECT_THAT(names(chooser::ListEntries("C:\\")), ElementsAre("Game", "top.txt", "Locked"));
  EXPECT_THAT(chooser::ListEntries("C:\\Locked"), IsEmpty());
  EXPECT_EQ(fs.OpenListings(), 0u);
  SetSearchBackends(nullptr, nullptr);
}

// A name the system's code page cannot spell comes in UTF-8 with its mark: the folder line shows
// it as it is and leads nowhere (its stand-in "Cafe" is another folder), the file list shows it.
TEST(ListingFilterTest, NamesTheCodePageCannotSpellAreShownAndLeadNowhere) {
  const std::string cafe = "Caf\xC3\xA9";
  MemoryFileSystem fs;
  fs.AddDrive('C', kDriveFixed);
  fs.AddFolder("C:\\Game\\" + cafe, faDirectory | faUnspellable);
  fs.AddFolder("C:\\Game\\Cafe");
  fs.AddFile("C:\\Game\\" + cafe + ".txt", faArchive | faUnspellable);
  SetSearchBackends(&fs, &fs);
  const std::vector<SearchRec> listing = chooser::ListEntries("C:\\Game");
  const std::vector<chooser::FolderLine> lines = chooser::FolderLines("C:\\Game", chooser::VisibleSubfolders(listing));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2].text, SystemText("Cafe"));
  EXPECT_EQ(lines[2].path, "C:\\Game\\Cafe");
  EXPECT_EQ(lines[3].text, UnicodeText(cafe));
  EXPECT_EQ(lines[3].path, "");
  EXPECT_THAT(chooser::VisibleFiles(listing), ElementsAre(UnicodeText(cafe + ".txt")));
  SetSearchBackends(nullptr, nullptr);
}

TEST(ListingFilterTest, SortIgnoresAsciiCaseThenOrdersBytes) {
  std::vector<SearchRec> entries = {{"b"}, {"B"}, {"a"}, {"A_"}, {"a_"}, {kA}, {"Z"}};
  chooser::SortNames(entries);
  EXPECT_THAT(Names(entries), ElementsAre("a", "A_", "a_", "B", "b", "Z", kA));
}

TEST(InOutErrorTest, MessagePickedByErrorCode) {
  const std::pair<int, std::string> cases[] = {
      {2, "ファイルが見つかりません"},
      {3, "不正なファイル名です"},
      {4, "オープンしたファイルが多すぎます"},
      {5, "ファイルへのアクセスが拒否されました"},
      {100, "ファイルの末尾以降を読み込みました"},
      {101, "ディスクがいっぱいです"},
      {106, "入力値が数値ではありません"},
      {21, "I/O エラー (21)"},
      {1392, "I/O エラー (1392)"},
  };
  for (const auto& [code, message] : cases) {
    EInOutError e(code);
    EXPECT_EQ(e.Message(), message) << code;
    EXPECT_EQ(e.ErrorCode(), code);
  }
}

}  // namespace
