// SHA-256 (FIPS 180-4): the digest that proves a decoded payload is the file it was packed from.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class TSha256 {
 public:
  using Digest = std::array<uint8_t, 32>;

  TSha256() { Reset(); }
  void Reset();
  // Feeds count bytes; may be called any number of times, with any split of the input.
  void Update(const void* data, size_t count);
  // The digest of everything fed since the last Reset(); the object is reset afterwards.
  Digest Final();

  static Digest Of(const void* data, size_t count);
  // Lower-case hexadecimal, 64 characters.
  static std::string Hex(const Digest& digest);

 private:
  void Block(const uint8_t* block);

  uint32_t state_[8];
  uint8_t buffer_[64];
  size_t buffered_ = 0;
  uint64_t length_ = 0;  // bytes fed so far
};
