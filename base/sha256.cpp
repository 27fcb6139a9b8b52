// SHA-256 over a 64-byte block buffer; big-endian words as the standard defines them. The
// blocks are compressed by plain code, or by the SHA extensions of x86 processors: compiled for
// them function by function, so that the program still runs on processors without them, and
// chosen once by what the processor reports.
#include "base/sha256.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define SHA256_X86 1
#endif

namespace {

constexpr uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void PlainBlocks(uint32_t* state, const uint8_t* p, size_t count) {
  for (; count > 0; --count, p += 64) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8 | p[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; ++i) {
      uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
      uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g; g = f; f = e; e = d + t1;
      d = c; c = b; b = a; a = t1 + t2;
    }
    state[0] += a; state[1] += b; state[2] += c; state[3] += d;
    state[4] += e; state[5] += f; state[6] += g; state[7] += h;
  }
}

#ifdef SHA256_X86
// The state is kept as the instructions want it, ABEF and CDGH; each step of the message
// schedule makes the next four words from the sixteen before them. The stack is realigned on
// entry: 32-bit Windows code may be called with it aligned to 4 bytes only.
__attribute__((target("sha,sse4.1"), force_align_arg_pointer)) void ShaBlocks(uint32_t* state, const uint8_t* p,
                                                                               size_t count) {
  const __m128i swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i dcba = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
  __m128i hgfe = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
  __m128i abef = _mm_alignr_epi8(dcba, hgfe, 8);
  __m128i cdgh = _mm_blend_epi16(hgfe, dcba, 0xF0);
  for (; count > 0; --count, p += 64) {
    const __m128i abefBefore = abef, cdghBefore = cdgh;
    __m128i w0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), swap);
    __m128i w1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), swap);
    __m128i w2 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), swap);
    __m128i w3 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)), swap);
    // Four rounds on the words w and the next four constants; the next four words from w[t-16]
    // (a), w[t-12] (b), w[t-8] (c) and w[t-4] (d). (Macros: lambdas would lose the target.)
    const uint32_t* k = kRound;
#define SHA256_ROUNDS(w)                                                                   \
  do {                                                                                     \
    const __m128i m = _mm_add_epi32(w, _mm_loadu_si128(reinterpret_cast<const __m128i*>(k))); \
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, m);                                           \
    abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(m, 0x0E));                  \
    k += 4;                                                                                \
  } while (0)
#define SHA256_NEXT(a, b, c, d) \
  a = _mm_sha256msg2_epu32(_mm_add_epi32(_mm_sha256msg1_epu32(a, b), _mm_alignr_epi8(d, c, 4)), d)
    SHA256_ROUNDS(w0);
    SHA256_ROUNDS(w1);
    SHA256_ROUNDS(w2);
    SHA256_ROUNDS(w3);
    for (int quarter = 1; quarter < 4; ++quarter) {
      SHA256_NEXT(w0, w1, w2, w3);
      SHA256_ROUNDS(w0);
      SHA256_NEXT(w1, w2, w3, w0);
      SHA256_ROUNDS(w1);
      SHA256_NEXT(w2, w3, w0, w1);
      SHA256_ROUNDS(w2);
      SHA256_NEXT(w3, w0, w1, w2);
      SHA256_ROUNDS(w3);
    }
#undef SHA256_ROUNDS
#undef SHA256_NEXT
    abef = _mm_add_epi32(abef, abefBefore);
    cdgh = _mm_add_epi32(cdgh, cdghBefore);
  }
  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

bool ProcessorHasSha() {
  unsigned a, b, c, d;
  const unsigned maxLeaf = __get_cpuid_max(0, nullptr);
  if (maxLeaf < 1) return false;
  __cpuid(1, a, b, c, d);
  const unsigned leaf1Ecx = c;
  b = 0;
  if (maxLeaf >= 7) __cpuid_count(7, 0, a, b, c, d);
  return TSha256::ShaInstructionsIn(maxLeaf, leaf1Ecx, b);
}
#endif

}  // namespace

bool TSha256::ShaInstructionsIn(uint32_t maxLeaf, uint32_t leaf1Ecx, uint32_t leaf7Ebx) {
  const bool ssse3 = leaf1Ecx & (1u << 9), sse41 = leaf1Ecx & (1u << 19);
  return maxLeaf >= 7 && ssse3 && sse41 && (leaf7Ebx & (1u << 29));
}

bool TSha256::Available(Engine engine) {
#ifdef SHA256_X86
  static const bool sha = ProcessorHasSha();
  return engine == Engine::Plain || sha;
#else
  return engine == Engine::Plain;
#endif
}

TSha256::Engine TSha256::Best() { return Available(Engine::ShaInstructions) ? Engine::ShaInstructions : Engine::Plain; }

TSha256::TSha256(Engine engine) : blocks_(PlainBlocks) {
#ifdef SHA256_X86
  if (engine == Engine::ShaInstructions && Available(engine)) blocks_ = ShaBlocks;
#else
  (void)engine;
#endif
  Reset();
}

TSha256::Engine TSha256::Used() const { return blocks_ == PlainBlocks ? Engine::Plain : Engine::ShaInstructions; }

void TSha256::Reset() {
  static constexpr uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::memcpy(state_, kInitial, sizeof state_);
  buffered_ = 0;
  length_ = 0;
}

void TSha256::Update(const void* data, size_t count) {
  if (count == 0) return;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  length_ += count;
  if (buffered_ > 0) {
    size_t take = count < 64 - buffered_ ? count : 64 - buffered_;
    std::memcpy(buffer_ + buffered_, p, take);
    buffered_ += take;
    p += take;
    count -= take;
    if (buffered_ < 64) return;
    blocks_(state_, buffer_, 1);
    buffered_ = 0;
  }
  blocks_(state_, p, count / 64);
  p += count / 64 * 64;
  count %= 64;
  std::memcpy(buffer_, p, count);
  buffered_ = count;
}

TSha256::Digest TSha256::Final() {
  const uint64_t bits = length_ * 8;
  static constexpr uint8_t kPad[64] = {0x80};
  // Pad to 56 bytes past a block boundary, then the length in bits, big-endian.
  Update(kPad, buffered_ < 56 ? 56 - buffered_ : 120 - buffered_);
  uint8_t tail[8];
  for (int i = 0; i < 8; ++i) tail[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  Update(tail, 8);
  Digest out;
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 4; ++j) out[4 * i + j] = static_cast<uint8_t>(state_[i] >> (24 - 8 * j));
  Reset();
  return out;
}

TSha256::Digest TSha256::Of(const void* data, size_t count) { return Of(data, count, Best()); }

TSha256::Digest TSha256::Of(const void* data, size_t count, Engine engine) {
  TSha256 h(engine);
  h.Update(data, count);
  return h.Final();
}

std::string TSha256::Hex(const Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  for (uint8_t b : digest) {
    s += kDigits[b >> 4];
    s += kDigits[b & 15];
  }
  return s;
}
