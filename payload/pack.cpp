// Optimal-parse encoder for PackedResource containers, block-wise and parallel.
#include "payload/pack.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <stdexcept>
#include <thread>

// MinGW's win32 thread model has no std::thread: the Windows packres parses its blocks one after
// another, with the same output.
#if defined(__MINGW32__) && !defined(_GLIBCXX_HAS_GTHREADS)
#define PACK_SINGLE_THREAD 1
#endif

#include "payload/unpack.h"

namespace packed {
namespace {

// Token kinds and their cost in bits: one flag bit plus the token's bytes.
enum Kind : uint8_t { kLiteral, kRun, kShort, kNear, kFar };
constexpr uint32_t kLiteralCost = 9;
constexpr uint32_t kShortCost = 9;
constexpr uint32_t kNearCost = 17;
constexpr uint32_t kFarCost = 25;
constexpr uint32_t RunCost(uint32_t n) { return 8 * (n + 1) + 1; }

constexpr int kMinRun = 9, kMaxRun = 40;
constexpr size_t kShortReach = 32;
constexpr int kMinShort = 2, kMaxShort = 4;
constexpr int kNearReach = 1024, kMinNear = 3, kMaxNear = 18;
constexpr int kMinFar = 3, kMaxFarPlain = 255;

constexpr int kHashBits = 17;   // the chain of four-byte matches
constexpr int kHash3Bits = 16;  // the nearest three-byte match

inline uint32_t Hash3(const uint8_t* p) {
  uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
  return (v * 2654435761u) >> (32 - kHash3Bits);
}

inline uint32_t Hash4(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return (v * 2654435761u) >> (32 - kHashBits);
}

inline size_t MatchLength(const uint8_t* a, const uint8_t* b, size_t limit) {
  size_t n = 0;
  while (n + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) return n + static_cast<size_t>(__builtin_ctzll(x ^ y)) / 8;
    n += 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

// The longest length a far copy can express without exceeding n.
inline int LongestFar(int n) {
  if (n >= 4096) return 4096;
  if (n >= 1024) return 1024;
  if (n >= 256) return 256;
  return n;
}

struct Step {
  uint16_t length = 0;
  uint16_t distance = 0;
  Kind kind = kLiteral;
};

// The candidate starts of a literal run, by increasing position and increasing key (cost minus
// 8 per byte), so that the cheapest start still in reach is always first.
class RunStarts {
 public:
  void Add(size_t start, int64_t key) {
    while (size_ > 0 && entries_[(first_ + size_ - 1) & kMask].key >= key) --size_;
    entries_[(first_ + size_) & kMask] = Entry{start, key};
    ++size_;
  }
  // The best start at or after `earliest`.
  size_t Best(size_t earliest) {
    while (entries_[first_].start < earliest) {
      first_ = (first_ + 1) & kMask;
      --size_;
    }
    return entries_[first_].start;
  }

 private:
  struct Entry {
    size_t start;
    int64_t key;
  };
  static constexpr size_t kMask = 63;  // more than the 32 starts in reach
  Entry entries_[kMask + 1];
  size_t first_ = 0;
  size_t size_ = 0;
};

struct Match {
  int length = 0;
  int distance = 0;
};

// The optimal parse of one block. Positions are indexes into the block's span, whose first
// `history` bytes are the input before the block: matches may start there, tokens do not. The
// arrays only grow, so one parser serves every block of a run.
class BlockParser {
 public:
  explicit BlockParser(const PackOptions& options)
      : options_(options), head_(size_t(1) << kHashBits), prev_(kRingMask + 1), head2_(size_t(1) << 16),
        link2_(kLink2Mask + 1), head3_(size_t(1) << kHash3Bits) {}

  // Parses span[history, end) into steps, in order.
  void Parse(const uint8_t* span, size_t history, size_t end, std::vector<Step>& steps) {
    data_ = span;
    size_ = end;
    const size_t length = end - history;
    if (cost_.size() < length + 1) {
      cost_.resize(length + 1);
      step_.resize(length + 1);
    }
    std::fill(cost_.begin(), cost_.begin() + static_cast<long>(length) + 1, std::numeric_limits<uint32_t>::max());
    std::fill(head_.begin(), head_.end(), -1);
    std::fill(head2_.begin(), head2_.end(), -1);
    std::fill(head3_.begin(), head3_.end(), -1);
    for (size_t i = 0; i < history; ++i) Insert(i);

    cost_[0] = 0;
    size_t shadowEnd = 0;
    RunStarts runs;
    for (size_t i = history; i < size_; ++i) {
      const size_t at = i - history;
      // The cheapest literal run ending here: every start 9 to 40 bytes back has its final cost
      // by now, and a run of n costs 8 n + 9, so the best start is the least cost - 8 start.
      if (at >= kMinRun) {
        runs.Add(at - kMinRun, static_cast<int64_t>(cost_[at - kMinRun]) - 8 * static_cast<int64_t>(at - kMinRun));
        const size_t start = runs.Best(at >= kMaxRun ? at - kMaxRun : 0);
        Relax(start, at - start, cost_[start] + RunCost(static_cast<uint32_t>(at - start)), kRun, 0);
      }
      const uint32_t base = cost_[at];
      Relax(at, 1, base + kLiteralCost, kLiteral, 0);

      if (i >= shadowEnd) {
        Match shortest = FindShort(i);
        Match nearest, farthest;
        FindChain(i, nearest, farthest);
        for (int n = kMinShort; n <= shortest.length; ++n) Relax(at, n, base + kShortCost, kShort, shortest.distance);
        const int nearTop = std::min(nearest.length, kMaxNear);
        for (int n = std::max(kMinNear, shortest.length + 1); n <= nearTop; ++n)
          Relax(at, n, base + kNearCost, kNear, nearest.distance);
        const int farTop = std::min(farthest.length, kMaxFarPlain);
        for (int n = std::max({kMinFar, shortest.length + 1, nearTop + 1}); n <= farTop; ++n)
          Relax(at, n, base + kFarCost, kFar, farthest.distance);
        for (int n : {256, 1024, 4096})
          if (farthest.length >= n) Relax(at, n, base + kFarCost, kFar, farthest.distance);
        if (farthest.length >= options_.niceLength) shadowEnd = i + LongestFar(farthest.length);
      }
      Insert(i);
    }
    steps.clear();
    for (size_t at = length; at > 0; at -= step_[at].length) steps.push_back(step_[at]);
    std::reverse(steps.begin(), steps.end());
  }

 private:
  void Relax(size_t from, size_t n, uint32_t cost, Kind kind, int distance) {
    size_t to = from + n;
    if (cost < cost_[to]) {
      cost_[to] = cost;
      step_[to] = Step{static_cast<uint16_t>(n), static_cast<uint16_t>(distance), kind};
    }
  }

  // Nearest of the longest matches (at most 4 bytes) within the short copy's reach, over the
  // chain of earlier positions that start with the same two bytes.
  Match FindShort(size_t i) const {
    Match best;
    const size_t limit = std::min<size_t>(kMaxShort, size_ - i);
    if (limit < kMinShort) return best;
    const uint8_t* here = data_ + i;
    for (int32_t c = head2_[Key2(here)]; c >= 0 && i - static_cast<size_t>(c) <= kShortReach;) {
      size_t n = kMinShort;
      while (n < limit && data_[static_cast<size_t>(c) + n] == here[n]) ++n;
      if (static_cast<int>(n) > best.length) {
        best = Match{static_cast<int>(n), static_cast<int>(i - static_cast<size_t>(c))};
        if (n == limit) break;
      }
      const uint8_t step = link2_[static_cast<size_t>(c) & kLink2Mask];
      if (step == 0) break;
      c -= step;
    }
    return best;
  }

  // Nearest of the longest matches within the near copy's reach, and within the far one's: the
  // nearest three-byte match, then the chain of four-byte matches, nearest first.
  void FindChain(size_t i, Match& nearest, Match& farthest) const {
    if (size_ - i < 3) return;
    const size_t limit = std::min<size_t>(kMaxCopy, size_ - i);
    const uint8_t* here = data_ + i;
    Match best, far3;
    const int32_t c3 = head3_[Hash3(here)];
    if (c3 >= 0 && i - static_cast<size_t>(c3) <= static_cast<size_t>(kMaxDistance)) {
      const size_t n = MatchLength(data_ + c3, here, limit);
      const size_t d = i - static_cast<size_t>(c3);
      if (n >= 3) (d <= static_cast<size_t>(kNearReach) ? best : far3) = Match{static_cast<int>(n), static_cast<int>(d)};
    }
    bool inNear = true;
    // Nothing is longer than a match that reaches the limit (and the test below would read past it).
    int chain = best.length == static_cast<int>(limit) ? 0 : options_.maxChain;
    const int32_t first = size_ - i >= 4 ? head_[Hash4(here)] : -1;
    for (int32_t c = first; c >= 0 && chain-- > 0; c = prev_[static_cast<size_t>(c) & kRingMask]) {
      const size_t d = i - static_cast<size_t>(c);
      if (d > static_cast<size_t>(kMaxDistance)) break;
      if (inNear && d > static_cast<size_t>(kNearReach)) {
        nearest = best;
        inNear = false;
      }
      const uint8_t* there = data_ + c;
      if (best.length > 0 && there[best.length] != here[best.length]) continue;
      const size_t n = MatchLength(there, here, limit);
      if (n >= 3 && static_cast<int>(n) > best.length) {
        best = Match{static_cast<int>(n), static_cast<int>(d)};
        if (n == limit || static_cast<int>(n) >= options_.niceLength) break;
      }
    }
    if (inNear) nearest = best;
    farthest = far3.length > best.length ? far3 : best;
  }

  void Insert(size_t i) {
    if (size_ - i < 2) return;
    const uint32_t k = Key2(data_ + i);
    const int32_t last = head2_[k];
    link2_[i & kLink2Mask] = last >= 0 && i - static_cast<size_t>(last) <= kShortReach ? static_cast<uint8_t>(i - static_cast<size_t>(last)) : 0;
    head2_[k] = static_cast<int32_t>(i);
    if (size_ - i < 3) return;
    head3_[Hash3(data_ + i)] = static_cast<int32_t>(i);
    if (size_ - i < 4) return;
    const uint32_t h = Hash4(data_ + i);
    prev_[i & kRingMask] = head_[h];
    head_[h] = static_cast<int32_t>(i);
  }

  static uint32_t Key2(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
  // A chain never reaches back further than the copy forms do, so its links live in rings: the
  // far one indexed by position modulo 32 KiB, the short one (distances of at most 32) modulo 64.
  static constexpr size_t kRingMask = 32768 - 1;
  static constexpr size_t kLink2Mask = 63;

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  PackOptions options_;
  std::vector<uint32_t> cost_;
  std::vector<Step> step_;
  std::vector<int32_t> head_;
  std::vector<int32_t> prev_;
  std::vector<int32_t> head2_;
  std::vector<uint8_t> link2_;
  std::vector<int32_t> head3_;
};

// Flag bytes and tokens, handed on as soon as their group's flag byte is complete.
class BodyWriter {
 public:
  explicit BodyWriter(const PackWriter& write) : write_(write) { NewGroup(); }

  void Literal(uint8_t b) {
    Token(false);
    pending_.push_back(b);
  }
  void Control(std::initializer_list<uint8_t> bytes) {
    Token(true);
    pending_.insert(pending_.end(), bytes);
  }
  void Run(const uint8_t* bytes, size_t n) {
    Token(true);
    pending_.push_back(static_cast<uint8_t>(((n - kMinRun) << 2) | 3));
    pending_.insert(pending_.end(), bytes, bytes + n);
  }

  // Writes out every byte before the open group's flag byte, or everything at the end.
  void Flush(bool end) {
    const size_t n = end ? pending_.size() : flagAt_;
    written_ += n;
    if (written_ > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
      throw std::length_error("packed body larger than a container can describe");
    if (n != 0) write_(pending_.data(), n);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(n));
    flagAt_ -= std::min(flagAt_, n);
  }
  uint64_t Written() const { return written_; }

 private:
  // A flag byte is written only when a token needs it, so a final full group has none after it.
  void Token(bool control) {
    if (count_ == 8) NewGroup();
    if (control) pending_[flagAt_] |= static_cast<uint8_t>(0x80 >> count_);
    ++count_;
  }
  void NewGroup() {
    flagAt_ = pending_.size();
    pending_.push_back(0);
    count_ = 0;
  }

  const PackWriter& write_;
  std::vector<uint8_t> pending_;
  size_t flagAt_ = 0;
  int count_ = 0;
  uint64_t written_ = 0;
};

// Writes the steps of the block at data, which has `before` bytes of input before it, first
// checking that every copy stays within the input and reproduces it.
void WriteSteps(BodyWriter& body, const uint8_t* data, size_t before, const std::vector<Step>& steps) {
  size_t at = 0;
  for (const Step& s : steps) {
    const unsigned d = s.distance - 1u;
    if (s.kind >= kShort && (s.distance == 0 || s.distance > before + at ||
                             std::memcmp(data + at, data + at - s.distance, s.length) != 0))
      throw std::logic_error("packer chose a copy that does not reproduce its input");
    switch (s.kind) {
      case kLiteral:
        body.Literal(data[at]);
        break;
      case kRun:
        body.Run(data + at, s.length);
        break;
      case kShort:
        body.Control({static_cast<uint8_t>((d << 2) | (s.length - 2u))});
        break;
      case kNear:
        body.Control({static_cast<uint8_t>(0x80 | (d >> 4)), static_cast<uint8_t>(((d & 15) << 4) | (s.length - 3u))});
        break;
      case kFar: {
        const unsigned n = s.length;
        const uint8_t g = n == 4096 ? 0xFF : n == 1024 ? 0xFE : n == 256 ? 0xFD : static_cast<uint8_t>(n - 3);
        body.Control({static_cast<uint8_t>(0xC0 | (d >> 8)), static_cast<uint8_t>(d & 0xFF), g});
        break;
      }
    }
    at += s.length;
  }
}

int Threads(const PackOptions& options) {
#ifdef PACK_SINGLE_THREAD
  (void)options;
  return 1;
#else
  const int wanted = options.threads > 0 ? options.threads : static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(wanted, 1, kMaxThreads);
#endif
}

}  // namespace

BodySize PackBody(const PackReader& read, const PackWriter& write, const PackOptions& options,
                  const PackProgress& progress) {
  const int threads = Threads(options);
  const size_t history = static_cast<size_t>(kMaxDistance);
  const size_t round = static_cast<size_t>(threads) * kPackBlock;
  std::vector<uint8_t> buffer;
  std::vector<BlockParser> parsers(static_cast<size_t>(threads), BlockParser(options));
  std::vector<std::vector<Step>> steps(static_cast<size_t>(threads));
  std::vector<std::exception_ptr> failures(static_cast<size_t>(threads));
  BodyWriter body(write);
  BodySize size;
  size_t kept = 0;
  for (bool more = true; more;) {
    // The last 16 KiB of the previous round, then up to one block per thread. The buffer grows
    // only as input arrives, so a small input costs little.
    const size_t capacity = kept + round;
    size_t filled = kept;
    while (filled < capacity) {
      const size_t chunk = std::min(kPackBlock, capacity - filled);
      if (buffer.size() < filled + chunk) buffer.resize(filled + chunk);
      const size_t n = read(buffer.data() + filled, chunk);
      if (n == 0) {
        more = false;
        break;
      }
      filled += n;
    }
    const size_t fresh = filled - kept;
    if (size.decoded + fresh > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
      throw std::length_error("input larger than a container can describe");
    if (fresh == 0) break;

    const size_t blocks = (fresh + kPackBlock - 1) / kPackBlock;
    auto parse = [&](size_t b) {
      try {
        const size_t begin = kept + b * kPackBlock, end = std::min(begin + kPackBlock, filled);
        const size_t from = begin - std::min(begin, history);
        parsers[b].Parse(buffer.data() + from, begin - from, end - from, steps[b]);
      } catch (...) {
        failures[b] = std::current_exception();
      }
    };
#ifdef PACK_SINGLE_THREAD
    for (size_t b = 0; b < blocks; ++b) parse(b);
#else
    std::vector<std::thread> workers;
    for (size_t b = 1; b < blocks; ++b) workers.emplace_back(parse, b);
    parse(0);
    for (std::thread& w : workers) w.join();
#endif
    for (size_t b = 0; b < blocks; ++b) {
      if (failures[b]) std::rethrow_exception(failures[b]);
      WriteSteps(body, buffer.data() + kept + b * kPackBlock, kept + b * kPackBlock, steps[b]);
    }
    body.Flush(false);
    size.decoded += fresh;
    if (progress) progress(size.decoded);

    const size_t keep = std::min(history, filled);
    std::memmove(buffer.data(), buffer.data() + filled - keep, keep);
    kept = keep;
  }
  body.Flush(true);
  size.packed = body.Written();
  return size;
}

std::vector<uint8_t> Pack(const uint8_t* data, size_t size, const PackOptions& options) {
  if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw std::length_error("input larger than a container can describe");
  std::vector<uint8_t> out(kHeaderSize);
  out.reserve(kHeaderSize + size / 2 + 64);
  size_t at = 0;
  const BodySize sizes = PackBody(
      [&](uint8_t* buffer, size_t count) {
        const size_t n = std::min(count, size - at);
        if (n != 0) std::memcpy(buffer, data + at, n);
        at += n;
        return n;
      },
      [&](const uint8_t* bytes, size_t count) { out.insert(out.end(), bytes, bytes + count); }, options);
  WriteHeader(out.data(), static_cast<int32_t>(sizes.packed), static_cast<int32_t>(sizes.decoded));
  return out;
}

std::vector<uint8_t> Pack(const std::vector<uint8_t>& data, const PackOptions& options) {
  return Pack(data.data(), data.size(), options);
}

}  // namespace packed
