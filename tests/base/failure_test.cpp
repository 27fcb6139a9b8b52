// The failure family at its boundaries: what a guard reports for anything thrown, and the
// platform's message carried by the window layer's own failure.
#include "base/failure.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Reported {
  std::vector<std::string> messages;
  bool abort = false;
  TFailureSink Sink() {
    return [this](const Exception& failure) {
      messages.push_back(failure.Message());
      abort = dynamic_cast<const EAbort*>(&failure) != nullptr;
    };
  }
};

TEST(RunGuardedTest, EveryThrownThingIsReportedOnceAsAFailureOfTheFamily) {
  struct Case {
    const char* what;
    std::function<void()> steps;
    std::string message;
  };
  const Case cases[] = {
      {"family", [] { throw EFCreateError("C:\\x"); }, "ファイル C:\\x を作成できません"},
      {"bad_alloc", [] { throw std::bad_alloc(); }, "メモリが不足しています"},
      {"std::exception", [] { throw std::runtime_error("window class not found"); }, "予期しないエラーが発生しました"},
      {"anything", [] { throw 42; }, "予期しないエラーが発生しました"},
      {"platform", [] { throw EPlatformError(8, "メモリ リソースが足りません。\r\n"); }, "メモリ リソースが足りません。"},
  };
  for (const Case& c : cases) {
    Reported reported;
    EXPECT_FALSE(RunGuarded(c.steps, reported.Sink())) << c.what;
    ASSERT_EQ(reported.messages.size(), 1u) << c.what;
    EXPECT_EQ(reported.messages[0], c.message) << c.what;
  }
}

TEST(RunGuardedTest, StepsThatReturnReportNothingAndAbortKeepsItsKind) {
  Reported reported;
  int ran = 0;
  EXPECT_TRUE(RunGuarded([&] { ++ran; }, reported.Sink()));
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(reported.messages.empty());
  EXPECT_FALSE(RunGuarded([] { throw EAbort(); }, reported.Sink()));
  EXPECT_TRUE(reported.abort);  // the sink decides that it stays silent
}

TEST(PlatformErrorTest, CarriesThePlatformTextWithoutItsLineBreak) {
  EXPECT_EQ(EPlatformError(1400, "Invalid window handle.\r\n").Message(), "Invalid window handle.");
  EXPECT_EQ(EPlatformError(1400, "Invalid window handle. \r\n").ErrorCode(), 1400u);
  EXPECT_EQ(EPlatformError(1400, "Invalid window handle. \r\n").Message(), "Invalid window handle.");
  EXPECT_EQ(EPlatformError(5, "ソ\r\n").Message(), "ソ");  // 83 5C stays whole
  // Without a text of its own the code is shown.
  EXPECT_EQ(EPlatformError(1816, "").Message(), "システム エラー (1816)");
  EXPECT_EQ(EPlatformError(0, "この操作を正しく終了しました。\r\n").Message(), "システム エラー (0)");
}

}  // namespace
