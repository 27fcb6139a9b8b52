// UnpackResource: the worked example, each token form, the write pattern, malformed input and
// agreement with a plain byte-at-a-time decoder; the body lent in place, copied from a stream
// that cannot lend it, and streamed in pieces (UnpackStreamed) all decode alike.
#include "payload/unpack.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <random>
#include <tuple>
#include <string>

#include "base/failure.h"
#include "tests/payload/container_builder.h"

namespace {

using testing_payload::BodyBuilder;
using testing_payload::Container;
using testing_payload::ReferenceDecode;
using Bytes = std::vector<uint8_t>;

// Keeps every byte and the size of every write call.
class RecordingStream : public TStream {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override {
    writes.push_back(count);
    const auto* b = static_cast<const uint8_t*>(buffer);
    bytes.insert(bytes.end(), b, b + count);
    return count;
  }
  std::vector<int32_t> writes;
  Bytes bytes;
};

// A memory stream that does not lend its bytes, as a file stream cannot.
class CopyingStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  bool Borrow(int32_t, const uint8_t**) override { return false; }
};

struct Decoded {
  Bytes bytes;
  std::vector<int32_t> writes;
  size_t sourceRead = 0;
};

// How the decoder gets the body: lent in place (the resource stream), read whole from a stream
// that cannot lend (UnpackResource), read in pieces of the smallest chunk (UnpackStreamed).
enum class Body { Lent, Copied, Streamed };
const Body kBodies[] = {Body::Lent, Body::Copied, Body::Streamed};
const char* Name(Body b) { return b == Body::Lent ? "lent" : b == Body::Copied ? "copied" : "streamed"; }

// The source holds exactly the container's bytes, so that under AddressSanitizer a read past
// them is caught.
Decoded Decode(const Bytes& container, Body body = Body::Lent) {
  std::unique_ptr<TMemoryStream> source;
  if (body == Body::Lent)
    source = std::make_unique<TMemoryStream>(container);
  else
    source = std::make_unique<CopyingStream>(container);
  RecordingStream out;
  if (body == Body::Streamed) {
    packed::Workspace workspace;
    packed::UnpackStreamed(*source, out, workspace, packed::kMinStreamChunk);
  } else {
    UnpackResource(*source, out);
  }
  return Decoded{out.bytes, out.writes, source->Position()};
}

Bytes Ascii(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(UnpackWorkedExample, DecodesTheThirtyFiveByteContainer) {
  const Bytes container = {0x59, 0x42, 0x83, 0x03, 0x13, 0x00, 0x00, 0x00, 0x2A, 0x00, 0x00, 0x00,
                           0x00, 0x00, 0x00, 0x00, 0x3C, 0x41, 0x42, 0x06, 0x03, 0x30, 0x31, 0x32,
                           0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x80, 0xE3, 0xC0, 0x14, 0x12};
  Decoded d = Decode(container);
  EXPECT_EQ(d.bytes, Ascii("ABABAB012345678ABABABABABAB012345678ABABAB"));
  EXPECT_EQ(d.writes, std::vector<int32_t>{42});
  EXPECT_EQ(d.sourceRead, container.size());
}

// Each form after a one-byte history "X": its control bytes and the bytes it appends.
struct FormCase {
  const char* name;
  std::vector<uint8_t> control;
  std::string appended;
};

class UnpackTokenForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(UnpackTokenForms, AppendTheirBytes) {
  const FormCase& c = GetParam();
  BodyBuilder b;
  b.Literal('X');
  if (c.control.size() == 1) b.Control({c.control[0]}, 0);
  if (c.control.size() == 2) b.Control({c.control[0], c.control[1]}, 0);
  if (c.control.size() == 3) b.Control({c.control[0], c.control[1], c.control[2]}, 0);
  const int32_t total = static_cast<int32_t>(1 + c.appended.size());
  EXPECT_EQ(Decode(Container(b.Body(), total)).bytes, Ascii("X" + c.appended));
}

INSTANTIATE_TEST_SUITE_P(
    Forms, UnpackTokenForms,
    ::testing::Values(FormCase{"ShortD1L2", {0x00}, "XX"}, FormCase{"ShortD1L4", {0x02}, "XXXX"},
                      FormCase{"NearD1L3", {0x80, 0x00}, "XXX"}, FormCase{"NearD1L18", {0x80, 0x0F}, std::string(18, 'X')},
                      FormCase{"FarD1L3", {0xC0, 0x00, 0x00}, "XXX"},
                      FormCase{"FarD1L255", {0xC0, 0x00, 0xFC}, std::string(255, 'X')},
                      FormCase{"FarD1L256", {0xC0, 0x00, 0xFD}, std::string(256, 'X')},
                      FormCase{"FarD1L1024", {0xC0, 0x00, 0xFE}, std::string(1024, 'X')},
                      FormCase{"FarD1L4096", {0xC0, 0x00, 0xFF}, std::string(4096, 'X')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UnpackLiteralRuns, ShortestAndLongest) {
  Bytes nine = Ascii("012345678"), forty = Ascii("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN");
  BodyBuilder b;
  b.Run(nine).Run(forty);
  EXPECT_EQ(b.Body()[1], 0x03);
  EXPECT_EQ(b.Body()[11], 0x7F);
  EXPECT_EQ(Decode(Container(b.Body(), 49)).bytes, Ascii("012345678abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN"));
}

// Distances at the edge of each form, over a history with no repeats nearby.
TEST(UnpackDistances, LargestOfEachFormReachesTheRightByte) {
  Bytes history(16384);
  for (size_t i = 0; i < history.size(); ++i) history[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  for (auto [form, distance] : {std::pair{'s', 32u}, {'n', 1024u}, {'f', 16384u}}) {
    BodyBuilder b;
    for (uint8_t v : history) b.Literal(v);
    if (form == 's') b.Short(distance, 4);
    if (form == 'n') b.Near(distance, 18);
    if (form == 'f') b.Far(distance, 4096);
    Bytes want = history;
    const size_t n = form == 's' ? 4 : form == 'n' ? 18 : 4096;
    for (size_t i = 0; i < n; ++i) want.push_back(want[want.size() - distance]);
    EXPECT_EQ(Decode(Container(b.Body(), static_cast<int32_t>(want.size()))).bytes, want) << form;
  }
}

TEST(UnpackOverlap, CopiesKeepTheirByteAtATimeMeaning) {
  for (unsigned period = 1; period <= 40; ++period) {
    BodyBuilder b;
    Bytes want;
    for (unsigned i = 0; i < period; ++i) {
      b.Literal(static_cast<uint8_t>('a' + i % 26 + i / 26));
      want.push_back(static_cast<uint8_t>('a' + i % 26 + i / 26));
    }
    for (unsigned n : {2u, 3u, 4u}) if (period <= 32) b.Short(period, n);
    b.Near(period, 17).Far(period, 1024).Far(period, 77);
    while (static_cast<int64_t>(want.size()) < b.Produced()) want.push_back(want[want.size() - period]);
    EXPECT_EQ(Decode(Container(b.Body(), static_cast<int32_t>(want.size()))).bytes, want) << period;
  }
}

TEST(UnpackEnd, ZeroSizeTakesAFlagByteAndWritesNothing) {
  for (Body mode : kBodies)
    for (Bytes body : {Bytes{}, Bytes{0xFF}}) {
      Bytes c = Container(body, 0);
      c.push_back(0xEE);  // trailing bytes of the source stay unread
      Decoded d = Decode(c, mode);
      EXPECT_TRUE(d.writes.empty()) << Name(mode);
      EXPECT_EQ(d.sourceRead, 16 + body.size()) << Name(mode);
    }
}

TEST(UnpackEnd, TrailingFlagAfterAFullGroupIsOptional) {
  BodyBuilder b;
  for (char c : std::string("ABCD")) b.Literal(static_cast<uint8_t>(c));
  b.Short(4, 4).Literal('E').Near(5, 6).Far(12, 12);
  ASSERT_EQ(b.Tokens(), 8);
  const Bytes without = Container(b.Body(), 27);
  b.TrailingFlag();
  const Bytes with = Container(b.Body(), 27);
  for (Body mode : kBodies) {
    EXPECT_EQ(Decode(without, mode).bytes, Ascii("ABCDABCDEABCDEADABCDEABCDEA")) << Name(mode);
    EXPECT_EQ(Decode(with, mode).bytes, Decode(without, mode).bytes) << Name(mode);
  }
}

TEST(UnpackEnd, LastTokenRunningPastTheSizeIsCompletedAndWritten) {
  BodyBuilder b;
  b.Literal('Q').Far(1, 4096);
  Decoded d = Decode(Container(b.Body(), 2));
  EXPECT_EQ(d.bytes, Bytes(4097, 'Q'));
  EXPECT_EQ(d.writes, std::vector<int32_t>{4097});
}

TEST(UnpackEnd, SourceLongerThanTheContainerIsNotReadFurther) {
  BodyBuilder b;
  b.Literal('Z').Short(1, 3);
  Bytes c = Container(b.Body(), 4);
  c.insert(c.end(), 100, 0xAB);
  for (Body mode : kBodies) {
    Decoded d = Decode(c, mode);
    EXPECT_EQ(d.bytes, Ascii("ZZZZ")) << Name(mode);
    EXPECT_EQ(d.sourceRead, 16 + b.Body().size()) << Name(mode);
  }
}

// Output sizes and the writes they make: blocks of 1 MiB once the window reaches 2 MiB, then
// one final write.
struct PatternCase {
  int32_t size;
  std::vector<int32_t> writes;
};

class UnpackWritePattern : public ::testing::TestWithParam<PatternCase> {};

TEST_P(UnpackWritePattern, FlushesInMebibyteBlocks) {
  const PatternCase& c = GetParam();
  BodyBuilder b;
  b.Literal(1).Literal(2).Literal(3).Far(3, 255).FillTo(c.size);
  const Bytes want = ReferenceDecode(Container(b.Body(), c.size));
  for (Body mode : kBodies) {
    Decoded d = Decode(Container(b.Body(), c.size), mode);
    EXPECT_EQ(d.writes, c.writes) << Name(mode);
    ASSERT_EQ(d.bytes.size(), static_cast<size_t>(c.size)) << Name(mode);
    EXPECT_EQ(d.bytes, want) << Name(mode);
  }
}

constexpr int32_t MiB = 1 << 20;
INSTANTIATE_TEST_SUITE_P(
    Sizes, UnpackWritePattern,
    ::testing::Values(PatternCase{1351168, {1351168}}, PatternCase{2 * MiB - 1, {2 * MiB - 1}},
                      PatternCase{2 * MiB, {MiB, MiB}}, PatternCase{2 * MiB + 1, {MiB, MiB + 1}},
                      PatternCase{3 * MiB, {MiB, MiB, MiB}},
                      PatternCase{5 * MiB + 12345, {MiB, MiB, MiB, MiB, MiB + 12345}}),
    [](const auto& info) { return "Size" + std::to_string(info.param.size); });

// A destination that takes only its first `accept` writes.
class FailingStream : public RecordingStream {
 public:
  explicit FailingStream(int accept) : accept_(accept) {}
  int32_t Write(const void* buffer, int32_t count) override {
    if (accept_-- <= 0) return count / 2;
    return RecordingStream::Write(buffer, count);
  }

 private:
  int accept_;
};

TEST(UnpackFailures, ShortWriteRaisesWriteErrorAndKeepsEarlierBlocks) {
  BodyBuilder b;
  b.Literal(9).FillTo(3 * MiB);
  TMemoryStream source(Container(b.Body(), 3 * MiB));
  FailingStream out(1);
  EXPECT_THROW(UnpackResource(source, out), EWriteError);
  EXPECT_EQ(out.writes, std::vector<int32_t>{MiB});
}

Bytes WithHeader(int32_t packedSize, int32_t decodedSize, Bytes body) {
  Bytes c(16);
  packed::WriteHeader(c.data(), packedSize, decodedSize);
  c.insert(c.end(), body.begin(), body.end());
  return c;
}

// Containers that must fail with EReadError, in every way of taking the body; those marked so
// before anything is written.
struct BadCase {
  const char* name;
  Bytes container;
  bool writesNothing = true;
};

class UnpackMalformed : public ::testing::TestWithParam<std::tuple<BadCase, Body>> {};

TEST_P(UnpackMalformed, FailsWithReadError) {
  const auto& [bad, mode] = GetParam();
  std::unique_ptr<TMemoryStream> source = mode == Body::Lent ? std::make_unique<TMemoryStream>(bad.container)
                                                             : std::make_unique<CopyingStream>(bad.container);
  RecordingStream out;
  packed::Workspace workspace;
  try {
    if (mode == Body::Streamed)
      packed::UnpackStreamed(*source, out, workspace, packed::kMinStreamChunk);
    else
      UnpackResource(*source, out);
    FAIL() << "no failure";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "ストリームからの読み込みエラー");
  }
  if (bad.writesNothing) {
    EXPECT_TRUE(out.writes.empty());
  }
}

// Bodies long enough for the unchecked fast path (over kGroupInput bytes, decoded sizes over
// kGroupOutput), malformed in its first group or after many, and sound otherwise, their sizes
// honest: only the fast path's own checks can find them out.
void Literals(BodyBuilder& b, int count) {
  for (int i = 0; i < count; ++i) b.Literal(static_cast<uint8_t>(i * 7 + (i >> 9)));
}

Bytes Fast(const std::function<void(BodyBuilder&)>& start) {
  BodyBuilder b;
  start(b);
  Literals(b, 400);
  b.FillTo(200000);
  return Container(b.Body(), static_cast<int32_t>(b.Produced()));
}

// A body whose last group ends after `tokens` of its eight, far past the first groups.
Bytes EndingInsideAGroup(int64_t before, int tokens) {
  BodyBuilder b;
  b.Literal(1).FillTo(before);
  Literals(b, 400 + 8 - b.Tokens() % 8 + tokens);
  return Container(b.Body(), static_cast<int32_t>(b.Produced() + 100));
}

// Whole groups of the longest literal runs, the widest a group can read (336 bytes from its
// first token), then a flag byte and six literals, so that the last group of runs starts 335
// bytes before the body's end; the decoded size lies far beyond. A fast path that took that group
// unchecked would read one byte past the body.
Bytes RunsToTheEnd() {
  BodyBuilder b;
  Bytes run(40);
  for (int i = 0; i < 8 * 300; ++i) {
    for (auto& v : run) v = static_cast<uint8_t>(i + (&v - run.data()));
    b.Run(run);
  }
  Literals(b, 6);
  return Container(b.Body(), static_cast<int32_t>(b.Produced() + 100000));
}

Bytes ShorterThanItsHeader(int32_t missing) {
  BodyBuilder b;
  Literals(b, 100000);
  Bytes c = Container(b.Body(), 200000);
  packed::WriteHeader(c.data(), static_cast<int32_t>(c.size() - 16) + missing, 200000);
  return c;
}

INSTANTIATE_TEST_SUITE_P(
    Containers, UnpackMalformed,
    ::testing::Combine(
        ::testing::Values(
            BadCase{"TenBytes", Bytes(10, 0)},
            BadCase{"ShortBody", WithHeader(19, 42, {0x3C, 0x41, 0x42, 0x06})},
            BadCase{"NegativePackedSize", WithHeader(-1, 4, {0x00, 1, 2, 3, 4})},
            BadCase{"NegativeDecodedSize", WithHeader(1, -5, {0x00})},
            BadCase{"CopyBeforeFirstByte", WithHeader(2, 2, {0x80, 0x00})},
            BadCase{"FarCopyBeyondHistory", WithHeader(6, 10, {0x20, 'A', 'B', 0xC0, 0x02, 0x05})},
            BadCase{"LiteralsPastTheBody", WithHeader(1, 1000, {0x00})},
            BadCase{"RunPastTheBody", WithHeader(2, 1000, {0x80, 0x7F})},
            // Tokens one byte short at the body's end, the source's next byte completing them
            // for a decoder that reads past the body.
            BadCase{"RunCutByOneByte", WithHeader(10, 9, {0x80, 0x03, 1, 2, 3, 4, 5, 6, 7, 8, 0x00})},
            BadCase{"NearCopyCutByOneByte", WithHeader(3, 4, {0x40, 'A', 0x80, 0x00})},
            BadCase{"FarCopyCutByOneByte", WithHeader(4, 5, {0x40, 'A', 0xC0, 0x00, 0x00})},
            BadCase{"NoFlagByteButTokensToCome", WithHeader(9, 9, {0x00, 1, 2, 3, 4, 5, 6, 7, 8})},
            BadCase{"HugeDecodedSizeShortBody", WithHeader(5, 0x7FFFFFFF, {0x20, 'A', 'B', 0x02, 'C'})},
            BadCase{"FastNearCopyBeforeFirstByte", Fast([](BodyBuilder& b) { b.Near(1, 3); })},
            BadCase{"FastShortCopyBeforeFirstByte", Fast([](BodyBuilder& b) { b.Short(1, 2); })},
            BadCase{"FastShortCopyBeyondHistory", Fast([](BodyBuilder& b) { Literals(b, 3); b.Short(8, 4); })},
            BadCase{"FastNearCopyBeyondHistoryAfterGroups", Fast([](BodyBuilder& b) { Literals(b, 800); b.Near(1024, 18); })},
            BadCase{"FastFarCopyBeyondHistoryAfterGroups",
                    Fast([](BodyBuilder& b) { Literals(b, 12000); b.Far(16384, 4096); })},
            BadCase{"BodyEndsInsideAGroupAfterGroups", EndingInsideAGroup(100000, 3)},
            BadCase{"BodyEndsInsideAGroupAfterAFlush", EndingInsideAGroup(3 * 1024 * 1024, 5), false},
            BadCase{"BodyShorterThanItsHeaderAfterGroups", ShorterThanItsHeader(1)},
            BadCase{"LongRunsToTheEndOfTheBody", RunsToTheEnd()}),
        ::testing::ValuesIn(kBodies)),
    [](const auto& info) { return std::string(std::get<0>(info.param).name) + "_" + Name(std::get<1>(info.param)); });

// A packed size near 2 GiB from a source that cannot lend its bytes: the input buffer (2 GiB) is
// taken before the body is read. A process that gets it then runs out of input; one that does
// not (a 32-bit process may not find that much in one piece) runs out of memory before reading.
// Either way nothing is written. A lending source needs no buffer: it is short.
TEST(UnpackHugePackedSize, FailsAsThePlatformAllowsWritingNothing) {
  TMemoryStream lending(WithHeader(0x7FFFFFFF, 4, {0x00, 1, 2, 3, 4}));
  RecordingStream out;
  EXPECT_THROW(UnpackResource(lending, out), EReadError);
  CopyingStream source(WithHeader(0x7FFFFFFF, 4, {0x00, 1, 2, 3, 4}));
  try {
    UnpackResource(source, out);
    ADD_FAILURE() << "no failure";
  } catch (const EReadError&) {
  } catch (const EOutOfMemory&) {
    EXPECT_EQ(source.Position(), 16u);
  }
  EXPECT_TRUE(out.writes.empty());
}

#if !defined(__SANITIZE_ADDRESS__)
// Runs in the death-test child: with little address space the 2 GiB input buffer cannot be had.
void DecodeUnderMemoryLimit() {
  const Bytes c = WithHeader(0x7FFFFF00, 4, {0x00, 1, 2, 3, 4});
  rlimit limit{};
  limit.rlim_cur = limit.rlim_max = rlim_t{512} << 20;
  setrlimit(RLIMIT_AS, &limit);
  CopyingStream source(c);
  RecordingStream out;
  try {
    UnpackResource(source, out);
  } catch (const EOutOfMemory&) {
    _exit(source.Position() == 16 && out.writes.empty() ? 0 : 2);
  } catch (...) {
    _exit(3);
  }
  _exit(4);
}
#endif

TEST(UnpackMemory, AllocationFailureRaisesOutOfMemoryBeforeTheBody) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator reports instead of failing";
#else
  EXPECT_EXIT(DecodeUnderMemoryLimit(), ::testing::ExitedWithCode(0), "");
#endif
}

// Random well-formed streams that use every form at every distance, long enough for the
// unchecked fast path, the flushes and the checked tail.
Bytes RandomBody(std::mt19937& rng, int32_t size, int32_t& produced) {
  BodyBuilder b;
  auto pick = [&rng](uint32_t lo, uint32_t hi) { return lo + rng() % (hi - lo + 1); };
  b.Literal(static_cast<uint8_t>(rng()));
  while (b.Produced() < size) {
    const uint32_t have = static_cast<uint32_t>(std::min<int64_t>(b.Produced(), 16384));
    switch (rng() % 6) {
      case 0: b.Literal(static_cast<uint8_t>(rng() % 4)); break;
      case 1: {
        Bytes run(pick(9, 40));
        for (auto& v : run) v = static_cast<uint8_t>(rng());
        b.Run(run);
        break;
      }
      case 2: b.Short(pick(1, std::min(have, 32u)), pick(2, 4)); break;
      case 3: b.Near(pick(1, std::min(have, 1024u)), pick(3, 18)); break;
      case 4: b.Far(pick(1, std::min(have, rng() % 2 ? 20u : 16384u)), pick(3, 255)); break;
      default: {
        static const unsigned longs[] = {256, 1024, 4096};
        b.Far(pick(1, std::min(have, 64u)), longs[rng() % 3]);
      }
    }
  }
  produced = static_cast<int32_t>(b.Produced());
  return b.Body();
}

TEST(UnpackAgreement, RandomStreamsMatchTheReferenceDecoder) {
  std::mt19937 rng(20240601);
  for (int32_t size : {1, 100, 70000, 2 * MiB + 5000, 4 * MiB}) {
    int32_t produced = 0;
    Bytes body = RandomBody(rng, size, produced);
    for (int32_t d : {size / 2, size, produced}) {  // half: tokens left in the body after it
      Bytes c = Container(body, d);
      const Bytes want = ReferenceDecode(c);
      for (Body mode : kBodies) EXPECT_EQ(Decode(c, mode).bytes, want) << size << " " << d << " " << Name(mode);
    }
  }
}

TEST(UnpackAgreement, GarbageFailsCleanlyOrMatchesTheReference) {
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    Bytes body(rng() % 300);
    for (auto& v : body) v = static_cast<uint8_t>(rng() % 3 ? rng() % 8 : rng());
    // Start with literals so that copies have something to reach.
    if (!body.empty()) body[0] &= 0x0F;
    Bytes c = Container(body, static_cast<int32_t>(rng() % 5000));
    Bytes want;
    bool refFails = false;
    try {
      want = ReferenceDecode(c);
    } catch (const EReadError&) {
      refFails = true;
    }
    for (Body mode : kBodies) {
      try {
        Bytes got = Decode(c, mode).bytes;
        EXPECT_FALSE(refFails) << round << " " << Name(mode);
        EXPECT_EQ(got, want) << round << " " << Name(mode);
      } catch (const EReadError&) {
        EXPECT_TRUE(refFails) << round << " " << Name(mode);
      }
    }
  }
}

// One workspace for many containers, read from a stream that cannot lend them, whole and in
// pieces: a large one (window flushed, input buffer grown), then smaller ones and a malformed
// one; each decodes exactly as on its own, write calls included, so nothing of an earlier
// container leaks into a later one.
TEST(UnpackWorkspace, ReuseDecodesEachContainerAsOnItsOwn) {
  std::mt19937 rng(99);
  std::vector<Bytes> containers;
  for (int32_t size : {3 * MiB, 5000, 40}) {
    int32_t produced = 0;
    Bytes body = RandomBody(rng, size, produced);
    containers.push_back(Container(body, produced));
  }
  containers.insert(containers.begin() + 2, WithHeader(4, 100, {0x80, 0x00, 0x00, 0x00}));  // copy before the first byte
  packed::Workspace workspace;
  for (bool streamed : {false, true})
    for (const Bytes& c : containers) {
      Decoded alone;
      bool aloneFails = false;
      try {
        alone = Decode(c);
      } catch (const EReadError&) {
        aloneFails = true;
      }
      CopyingStream source(c);
      RecordingStream out;
      try {
        if (streamed)
          packed::UnpackStreamed(source, out, workspace, packed::kMinStreamChunk);
        else
          packed::Unpack(source, out, workspace);
        EXPECT_FALSE(aloneFails);
      } catch (const EReadError&) {
        EXPECT_TRUE(aloneFails);
      }
      EXPECT_EQ(out.bytes, alone.bytes);
      EXPECT_EQ(out.writes, alone.writes);
    }
}

}  // namespace
