// Byte streams: the read-exactly / write-exactly contract the decoder relies on, a read-only view
// over bytes that lie elsewhere, and an in-memory stream for the packer and the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TStream {
 public:
  virtual ~TStream() = default;
  // Deliver up to count bytes; returns how many were delivered.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Take up to count bytes; returns how many were taken.
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Streams whose bytes already lie in memory lend them instead of copying: *bytes is set to the
  // next count bytes in place (valid while the stream lives) and the position moves past them;
  // EReadError when fewer remain, nothing read. Other streams return false and read nothing.
  virtual bool Borrow(int32_t count, const uint8_t** bytes);

  // Exactly count bytes, or EReadError. A count of 0 does nothing.
  void ReadBuffer(void* buffer, int32_t count);
  // Exactly count bytes, or EWriteError. A count of 0 does nothing.
  void WriteBuffer(const void* buffer, int32_t count);
};

// Bytes that lie in memory owned elsewhere (a resource mapped with the image), read and lent in
// place; writes take nothing.
class TSpanStream : public TStream {
 public:
  TSpanStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void*, int32_t) override { return 0; }
  bool Borrow(int32_t count, const uint8_t** bytes) override;

  const uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }

 protected:
  TSpanStream() = default;
  void View(const uint8_t* data, size_t size) { data_ = data, size_ = size; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t position_ = 0;
};

// A growable byte buffer with one position for reading and appending writes.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  bool Borrow(int32_t count, const uint8_t** bytes) override;

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::vector<uint8_t>& Bytes() { return bytes_; }
  size_t Position() const { return position_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
};
