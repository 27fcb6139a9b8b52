// The game folder's registry setting: reading, writing, the store's key handling and its failures.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "base/failure.h"
#include "location/game_dir.h"
#include "tests/location/memory_registry.h"
#include "location/registry.h"

namespace {

const std::string kKey = "Software\\KORVA";
const std::string kSection = "Software\\KORVA\\VELDRAN";
using Op = MemoryRegistry::Op;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetRegistryBackend(&reg); }
  void TearDown() override {
    SetRegistryBackend(nullptr);
    // Every store closes what it opened, on every path.
    EXPECT_EQ(reg.OpenHandles(), 0u);
  }

  // Runs LoadGameDir on a GameDir holding "before"; returns the message of a failure, if any.
  std::string Load(std::string& gameDir) {
    try {
      LoadGameDir(gameDir);
    } catch (const ERegistryException& e) {
      return e.Message();
    }
    return "";
  }

  std::string Save(const std::string& folder) {
    try {
      SaveGameDir(folder);
    } catch (const ERegistryException& e) {
      return e.Message();
    }
    return "";
  }

  std::string StoredBytes() {
    const MemoryRegistry::Value* v = reg.FindValue(kSection, "GameDir");
    return v ? std::string(v->data.begin(), v->data.end()) : "<none>";
  }

  MemoryRegistry reg;
};

TEST_F(SettingsTest, FirstReadWithoutKeyCreatesEmptyKeyOnly) {
  std::string gameDir;
  EXPECT_EQ(Load(gameDir), "");
  EXPECT_EQ(gameDir, "");
  EXPECT_TRUE(reg.KeyExists(kKey));
  EXPECT_FALSE(reg.KeyExists(kSection));
  EXPECT_EQ(reg.SubKeyCount(kKey), 0u);
  EXPECT_EQ(reg.ValueCount(kKey), 0u);
}

struct ReadCase {
  const char* what;
  uint32_t type;
  std::string data;
  std::string result;   // GameDir afterwards
  std::string failure;  // message, "" for none
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.what; }

class ReadValueTest : public SettingsTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadValueTest, GivesTextOrFailsLeavingGameDir) {
  const ReadCase& c = GetParam();
  reg.PutValue(kSection, "GameDir", c.type, c.data);
  std::string gameDir = "previous\\";
  EXPECT_EQ(Load(gameDir), c.failure);
  EXPECT_EQ(gameDir, c.result);
  // Reading never changes the stored value.
  EXPECT_EQ(reg.FindValue(kSection, "GameDir")->type, c.type);
  EXPECT_EQ(StoredBytes(), c.data);
}

const std::string kBadType = "'GameDir' のデータ型が不正です";

INSTANTIATE_TEST_SUITE_P(
    Values, ReadValueTest,
    ::testing::Values(
        ReadCase{"plain", kRegSz, std::string("C:\\Games\\\0", 10), "C:\\Games\\", ""},
        ReadCase{"expand_taken_literally", kRegExpandSz, std::string("%ProgramFiles%\\V\\\0", 18),
                 "%ProgramFiles%\\V\\", ""},
        ReadCase{"cut_at_first_nul", kRegSz, std::string("C:\\A\0B\\\0", 8), "C:\\A", ""},
        ReadCase{"no_terminating_nul", kRegSz, "D:\\G\\", "D:\\G\\", ""},
        ReadCase{"no_trailing_backslash_kept", kRegSz, std::string("D:\\Game\0", 8), "D:\\Game", ""},
        ReadCase{"shift_jis_trail_backslash", kRegSz, std::string("C:\\ソフト\\\0", 10), "C:\\ソフト\\", ""},
        ReadCase{"empty_text", kRegSz, std::string("\0", 1), "", ""},
        ReadCase{"zero_length", kRegSz, "", "", ""},
        ReadCase{"zero_length_dword", kRegDword, "", "", ""},
        ReadCase{"dword", kRegDword, std::string("\x01\x00\x00\x00", 4), "previous\\", kBadType},
        ReadCase{"binary", kRegBinary, "C:\\", "previous\\", kBadType},
        ReadCase{"none_type", kRegNone, "x", "previous\\", kBadType}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.what); });

TEST_F(SettingsTest, MissingSectionOrValueGivesDefault) {
  TRegIniFile store(kKey);
  EXPECT_EQ(store.ReadSetting("VELDRAN", "GameDir", "dflt"), "dflt");
  reg.PutValue(kSection, "Other", kRegSz, std::string("x\0", 2));
  EXPECT_EQ(store.ReadSetting("VELDRAN", "GameDir", "dflt"), "dflt");
  // Names are matched without regard to case, as by the registry.
  EXPECT_EQ(store.ReadSetting("veldran", "OTHER", "dflt"), "x");
}

TEST_F(SettingsTest, SectionWithoutFullAccessCountsAsMissing) {
  reg.PutValue(kSection, "GameDir", kRegSz, std::string("C:\\G\\\0", 6));
  reg.DenyFullAccess(kSection);
  std::string gameDir = "x";
  EXPECT_EQ(Load(gameDir), "");
  EXPECT_EQ(gameDir, "");
}

TEST_F(SettingsTest, UnopenableKeyLooksUpSectionBelowHive) {
  reg.PutValue(kSection, "GameDir", kRegSz, std::string("C:\\Key\\\0", 8));
  reg.PutValue("VELDRAN", "GameDir", kRegSz, std::string("C:\\Hive\\\0", 9));
  reg.DenyFullAccess(kKey);
  std::string gameDir;
  EXPECT_EQ(Load(gameDir), "");
  EXPECT_EQ(gameDir, "C:\\Hive\\");
}

TEST_F(SettingsTest, FailedQueriesGiveDefaultThenEmptyThenFailure) {
  reg.PutValue(kSection, "GameDir", kRegSz, std::string("C:\\G\\\0", 6));
  {
    MemoryRegistry r;
    r.PutValue(kSection, "GameDir", kRegSz, std::string("C:\\G\\\0", 6));
    r.FailOn(Op::QueryInfo, kSection);  // the existence query
    TRegIniFile store(kKey, r);
    EXPECT_EQ(store.ReadSetting("VELDRAN", "GameDir", "dflt"), "dflt");
  }
  {
    MemoryRegistry r;
    r.PutValue(kSection, "GameDir", kRegSz, std::string("C:\\G\\\0", 6));
    r.FailOn(Op::QueryInfo, kSection, 1);  // the size query only
    TRegIniFile store(kKey, r);
    EXPECT_EQ(store.ReadSetting("VELDRAN", "GameDir", "dflt"), "");
  }
  reg.FailOn(Op::QueryData, kSection);
  std::string gameDir = "kept";
  EXPECT_EQ(Load(gameDir), "'GameDir' の取得に失敗しました");
  EXPECT_EQ(gameDir, "kept");
}

TEST_F(SettingsTest, ReadMakesExactlyTheseCalls) {
  reg.PutValue(kSection, "GameDir", kRegSz, std::string("C:\\G\\\0", 6));
  std::string gameDir;
  LoadGameDir(gameDir);
  const std::vector<std::string> expected = {
      "create Software\\KORVA",
      "open Software\\KORVA\\VELDRAN",
      "query Software\\KORVA\\VELDRAN GameDir",
      "query Software\\KORVA\\VELDRAN GameDir",
      "read Software\\KORVA\\VELDRAN GameDir",
      "close Software\\KORVA\\VELDRAN",
      "close Software\\KORVA",
  };
  EXPECT_EQ(reg.Calls(), expected);
}

TEST_F(SettingsTest, FailureRestoresPreviousKeyAndStoreStaysUsable) {
  reg.PutDword(kSection, "GameDir", 7);
  reg.PutValue(kSection, "Name", kRegSz, std::string("ok\0", 3));
  TRegIniFile store(kKey);
  RegKey before = store.CurrentKey();
  ASSERT_NE(before, kNoKey);
  EXPECT_THROW(store.ReadSetting("VELDRAN", "GameDir", ""), ERegistryException);
  EXPECT_EQ(store.CurrentKey(), before);
  EXPECT_EQ(store.CurrentPath(), kKey);
  EXPECT_EQ(reg.OpenHandles(), 1u);
  EXPECT_EQ(store.ReadSetting("VELDRAN", "Name", ""), "ok");

  reg.FailOn(Op::Set, kSection);
  EXPECT_THROW(store.WriteSetting("VELDRAN", "GameDir", "C:\\"), ERegistryException);
  EXPECT_EQ(store.CurrentKey(), before);
  EXPECT_EQ(reg.OpenHandles(), 1u);
}

TEST_F(SettingsTest, KeyTextsResolveRelativeOrAbsolute) {
  reg.PutValue("Software\\KORVA\\Other\\VELDRAN", "GameDir", kRegSz, std::string("rel\0", 4));
  reg.PutValue("Other\\VELDRAN", "GameDir", kRegSz, std::string("abs\0", 4));
  TRegIniFile store(kKey);
  EXPECT_EQ(store.ReadSetting("Other\\VELDRAN", "GameDir", ""), "rel");
  EXPECT_EQ(store.ReadSetting("\\Other\\VELDRAN", "GameDir", ""), "abs");

  ASSERT_TRUE(store.OpenKey("Other", false));
  EXPECT_EQ(store.CurrentPath(), "Software\\KORVA\\Other");
  EXPECT_EQ(store.ReadSetting("VELDRAN", "GameDir", ""), "rel");
  ASSERT_TRUE(store.OpenKey("\\Other", false));
  EXPECT_EQ(store.CurrentPath(), "Other");
  EXPECT_FALSE(store.OpenKey("Missing", false));
  EXPECT_EQ(store.CurrentPath(), "Other");
  EXPECT_FALSE(reg.KeyExists("Other\\Missing"));
}

TEST_F(SettingsTest, SaveWritesStringWithOneNul) {
  EXPECT_EQ(Save("C:\\ソフト\\Games\\"), "");
  const MemoryRegistry::Value* v = reg.FindValue(kSection, "GameDir");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->type, kRegSz);
  EXPECT_EQ(StoredBytes(), std::string("C:\\ソフト\\Games\\\0", 17));
  std::string gameDir;
  LoadGameDir(gameDir);
  EXPECT_EQ(gameDir, "C:\\ソフト\\Games\\");
}

TEST_F(SettingsTest, SaveReplacesWrongTypeAndEmptyText) {
  reg.PutDword(kSection, "GameDir", 1);
  std::string gameDir = "kept";
  EXPECT_EQ(Load(gameDir), kBadType);
  EXPECT_EQ(gameDir, "kept");
  EXPECT_EQ(Save("D:\\V\\"), "");
  EXPECT_EQ(reg.FindValue(kSection, "GameDir")->type, kRegSz);
  EXPECT_EQ(Load(gameDir), "");
  EXPECT_EQ(gameDir, "D:\\V\\");
  EXPECT_EQ(Save(""), "");
  EXPECT_EQ(StoredBytes(), std::string("\0", 1));
}

struct WriteCase {
  const char* what;
  Op op;            // the call that fails
  std::string key;  // on this key
  bool denySection;
  std::string failure;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.what; }

class WriteFailureTest : public SettingsTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteFailureTest, RaisesAndWritesNothing) {
  const WriteCase& c = GetParam();
  if (c.denySection) reg.DenyFullAccess(kSection);
  if (!c.key.empty()) reg.FailOn(c.op, c.key);
  EXPECT_EQ(Save("C:\\G\\"), c.failure);
  EXPECT_EQ(reg.FindValue(kSection, "GameDir"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, WriteFailureTest,
    ::testing::Values(
        WriteCase{"section_not_created", Op::Create, kSection, false, "キー VELDRAN の作成に失敗しました"},
        WriteCase{"section_read_only", Op::Create, "", true, "キー VELDRAN の作成に失敗しました"},
        // Created but not openable for writing is reported, never taken for success.
        WriteCase{"section_not_opened", Op::Open, kSection, false, "'GameDir' の設定に失敗しました"},
        WriteCase{"value_not_set", Op::Set, kSection, false, "'GameDir' の設定に失敗しました"}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.what); });

TEST_F(SettingsTest, SaveWithUnopenableKeyWritesBelowHive) {
  reg.FailOn(Op::Create, kKey);
  EXPECT_EQ(Save("C:\\G\\"), "");
  EXPECT_FALSE(reg.KeyExists(kKey));
  ASSERT_NE(reg.FindValue("VELDRAN", "GameDir"), nullptr);
}

}  // namespace
