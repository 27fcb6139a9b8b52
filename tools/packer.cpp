// Optimal-parse encoder for PackedResource containers.
#include "tools/packer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

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
constexpr int kShortReach = 32, kMinShort = 2, kMaxShort = 4;
constexpr int kNearReach = 1024, kMinNear = 3, kMaxNear = 18;
constexpr int kMinFar = 3, kMaxFarPlain = 255;

constexpr int kHashBits = 17;

inline uint32_t Hash3(const uint8_t* p) {
  uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
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

struct Match {
  int length = 0;
  int distance = 0;
};

class Parser {
 public:
  Parser(const uint8_t* data, size_t size, const PackOptions& options)
      : data_(data), size_(size), options_(options), cost_(size + 1, std::numeric_limits<uint32_t>::max()),
        step_(size + 1), head_(size_t(1) << kHashBits, -1), prev_(size, -1) {}

  std::vector<Step> Run() {
    cost_[0] = 0;
    size_t shadowEnd = 0;
    for (size_t i = 0; i < size_; ++i) {
      const uint32_t base = cost_[i];
      Relax(i, 1, base + kLiteralCost, kLiteral, 0);
      const size_t runMax = std::min<size_t>(kMaxRun, size_ - i);
      for (size_t n = kMinRun; n <= runMax; ++n) Relax(i, n, base + RunCost(uint32_t(n)), kRun, 0);

      if (i >= shadowEnd) {
        Match shortest = FindShort(i);
        Match nearest, farthest;
        FindChain(i, nearest, farthest);
        for (int n = kMinShort; n <= shortest.length; ++n) Relax(i, n, base + kShortCost, kShort, shortest.distance);
        const int nearTop = std::min(nearest.length, kMaxNear);
        for (int n = std::max(kMinNear, shortest.length + 1); n <= nearTop; ++n)
          Relax(i, n, base + kNearCost, kNear, nearest.distance);
        const int farTop = std::min(farthest.length, kMaxFarPlain);
        for (int n = std::max({kMinFar, shortest.length + 1, nearTop + 1}); n <= farTop; ++n)
          Relax(i, n, base + kFarCost, kFar, farthest.distance);
        for (int n : {256, 1024, 4096})
          if (farthest.length >= n) Relax(i, n, base + kFarCost, kFar, farthest.distance);
        if (farthest.length >= options_.niceLength) shadowEnd = i + LongestFar(farthest.length);
      }
      Insert(i);
    }
    std::vector<Step> steps;
    for (size_t at = size_; at > 0; at -= step_[at].length) steps.push_back(step_[at]);
    std::reverse(steps.begin(), steps.end());
    return steps;
  }

 private:
  void Relax(size_t from, size_t n, uint32_t cost, Kind kind, int distance) {
    size_t to = from + n;
    if (cost < cost_[to]) {
      cost_[to] = cost;
      step_[to] = Step{static_cast<uint16_t>(n), static_cast<uint16_t>(distance), kind};
    }
  }

  // Nearest of the longest matches (at most 4 bytes) within the short copy's reach.
  Match FindShort(size_t i) const {
    Match best;
    const size_t limit = std::min<size_t>(kMaxShort, size_ - i);
    if (limit < kMinShort) return best;
    const size_t reach = std::min<size_t>(kShortReach, i);
    for (size_t d = 1; d <= reach; ++d) {
      size_t n = 0;
      while (n < limit && data_[i - d + n] == data_[i + n]) ++n;
      if (n >= kMinShort && static_cast<int>(n) > best.length) {
        best = Match{static_cast<int>(n), static_cast<int>(d)};
        if (n == limit) break;
      }
    }
    return best;
  }

  // Nearest of the longest matches within the near copy's reach, and within the far one's.
  void FindChain(size_t i, Match& nearest, Match& farthest) const {
    if (size_ - i < 3) return;
    const size_t limit = std::min<size_t>(kMaxCopy, size_ - i);
    const uint8_t* here = data_ + i;
    Match best;
    bool inNear = true;
    int chain = options_.maxChain;
    for (int32_t c = head_[Hash3(here)]; c >= 0 && chain-- > 0; c = prev_[c]) {
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
        if (n == limit) break;
      }
    }
    if (inNear) nearest = best;
    farthest = best;
  }

  void Insert(size_t i) {
    if (size_ - i < 3) return;
    uint32_t h = Hash3(data_ + i);
    prev_[i] = head_[h];
    head_[h] = static_cast<int32_t>(i);
  }

  const uint8_t* data_;
  size_t size_;
  PackOptions options_;
  std::vector<uint32_t> cost_;
  std::vector<Step> step_;
  std::vector<int32_t> head_;
  std::vector<int32_t> prev_;
};

class BodyWriter {
 public:
  explicit BodyWriter(std::vector<uint8_t>& out) : out_(out) { NewGroup(); }

  void Literal(uint8_t b) {
    Token(false);
    out_.push_back(b);
  }
  void Control(std::initializer_list<uint8_t> bytes) {
    Token(true);
    out_.insert(out_.end(), bytes);
  }
  void Run(const uint8_t* bytes, size_t n) {
    Token(true);
    out_.push_back(static_cast<uint8_t>(((n - kMinRun) << 2) | 3));
    out_.insert(out_.end(), bytes, bytes + n);
  }

 private:
  // A flag byte is written only when a token needs it, so a final full group has none after it.
  void Token(bool control) {
    if (count_ == 8) NewGroup();
    if (control) out_[flagAt_] |= static_cast<uint8_t>(0x80 >> count_);
    ++count_;
  }
  void NewGroup() {
    flagAt_ = out_.size();
    out_.push_back(0);
    count_ = 0;
  }

  std::vector<uint8_t>& out_;
  size_t flagAt_ = 0;
  int count_ = 0;
};

}  // namespace

std::vector<uint8_t> Pack(const uint8_t* data, size_t size, const PackOptions& options) {
  if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw std::length_error("input larger than a container can describe");
  std::vector<Step> steps = Parser(data, size, options).Run();

  std::vector<uint8_t> out(kHeaderSize);
  out.reserve(kHeaderSize + size / 2 + 64);
  BodyWriter body(out);
  size_t at = 0;
  for (const Step& s : steps) {
    const unsigned d = s.distance - 1u;
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
  const size_t bodySize = out.size() - kHeaderSize;
  if (bodySize > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw std::length_error("packed body larger than a container can describe");
  WriteHeader(out.data(), static_cast<int32_t>(bodySize), static_cast<int32_t>(size));
  return out;
}

std::vector<uint8_t> Pack(const std::vector<uint8_t>& data, const PackOptions& options) {
  return Pack(data.data(), data.size(), options);
}

}  // namespace packed
