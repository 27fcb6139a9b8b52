// SHA-256 (FIPS 180-4): the digest that proves a decoded payload is the file it was packed from.
// The blocks go through the processor's SHA instructions where it has them (x86, chosen at run
// time), else through plain code; both give the same digest.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class TSha256 {
 public:
  using Digest = std::array<uint8_t, 32>;
  // What compresses the blocks. Tests choose one; everything else takes the best there is.
  enum class Engine { Plain, ShaInstructions };
  static bool Available(Engine engine);
  static Engine Best();
  // Whether a processor offers the SHA instructions and the SSSE3 and SSE4.1 they are used with,
  // from what CPUID tells: the highest standard leaf, leaf 1's ECX and leaf 7's EBX (ignored
  // when the processor has no leaf 7). Available() asks it with this processor's words.
  static bool ShaInstructionsIn(uint32_t maxLeaf, uint32_t leaf1Ecx, uint32_t leaf7Ebx);

  TSha256() : TSha256(Best()) {}
  // The engine asked for where this processor has it, else the plain code.
  explicit TSha256(Engine engine);
  // The engine this object compresses with.
  Engine Used() const;
  void Reset();
  // Feeds count bytes; may be called any number of times, with any split of the input.
  void Update(const void* data, size_t count);
  // The digest of everything fed since the last Reset(); the object is reset afterwards.
  Digest Final();

  static Digest Of(const void* data, size_t count);
  static Digest Of(const void* data, size_t count, Engine engine);
  // Lower-case hexadecimal, 64 characters.
  static std::string Hex(const Digest& digest);

 private:
  using Blocks = void (*)(uint32_t* state, const uint8_t* blocks, size_t count);

  Blocks blocks_;
  uint32_t state_[8];
  uint8_t buffer_[64];
  size_t buffered_ = 0;
  uint64_t length_ = 0;  // bytes fed so far
};
