// Read-exactly / write-exactly and the failure messages they raise.
#include "base/stream.h"

#include <gtest/gtest.h>

#include "base/failure.h"

namespace {

TEST(StreamExactly, ShortReadRaisesReadError) {
  TMemoryStream s(std::vector<uint8_t>{1, 2, 3});
  uint8_t buf[4] = {};
  try {
    s.ReadBuffer(buf, 4);
    FAIL() << "no failure";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "ストリームからの読み込みエラー");
  }
}

TEST(StreamExactly, ZeroCountNeverFails) {
  TMemoryStream empty;
  empty.ReadBuffer(nullptr, 0);
  empty.WriteBuffer(nullptr, 0);
  EXPECT_TRUE(empty.Bytes().empty());
}

class Refusing : public TStream {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void*, int32_t count) override { return count - 1; }
};

TEST(StreamExactly, ShortWriteRaisesWriteError) {
  Refusing s;
  uint8_t b[2] = {};
  EXPECT_THROW(s.WriteBuffer(b, 2), EWriteError);
}

// Both streams whose bytes lie in memory lend what remains in place, and refuse one byte more
// without moving.
TEST(StreamLending, LendsWhatRemainsAndNoByteMore) {
  const std::vector<uint8_t> bytes{1, 2, 3, 4};
  TSpanStream span(bytes.data(), bytes.size());
  TMemoryStream memory(bytes);
  for (TStream* s : {static_cast<TStream*>(&span), static_cast<TStream*>(&memory)}) {
    uint8_t first = 0;
    const uint8_t* lent = nullptr;
    ASSERT_EQ(s->Read(&first, 1), 1);
    EXPECT_THROW(s->Borrow(4, &lent), EReadError);
    ASSERT_TRUE(s->Borrow(3, &lent));
    EXPECT_EQ(lent[0], 2);
    EXPECT_EQ(s->Read(&first, 1), 0);
  }
  EXPECT_EQ(span.Data(), bytes.data());
}

TEST(FailureMessages, CarryTheirArguments) {
  EXPECT_EQ(EResNotFound("EXE").Message(), "EXE リソースが見つかりません");
  EXPECT_EQ(EFCreateError("D:\\Game\\VELDRAN.EXE").Message(), "ファイル D:\\Game\\VELDRAN.EXE を作成できません");
  EXPECT_EQ(ERegistryException::InvalidType("GameDir").Message(), "'GameDir' のデータ型が不正です");
  EXPECT_EQ(ERegistryException::CreateKeyFailed("VELDRAN").Message(), "キー VELDRAN の作成に失敗しました");
  EXPECT_EQ(EInOutError(5).Message(), "ファイルへのアクセスが拒否されました");
  EXPECT_EQ(EInOutError(21).Message(), "I/O エラー (21)");
  EXPECT_TRUE(EAbort().Message().empty());
}

}  // namespace
