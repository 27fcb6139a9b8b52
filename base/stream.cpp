// Read-exactly and write-exactly over any stream; the view over bytes in place; the in-memory
// stream.
#include "base/stream.h"

#include <algorithm>
#include <cstring>

#include "base/failure.h"

void TStream::ReadBuffer(void* buffer, int32_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

bool TStream::Borrow(int32_t, const uint8_t**) { return false; }

int32_t TSpanStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const size_t n = std::min(static_cast<size_t>(count), size_ - position_);
  std::memcpy(buffer, data_ + position_, n);
  position_ += n;
  return static_cast<int32_t>(n);
}

bool TSpanStream::Borrow(int32_t count, const uint8_t** bytes) {
  if (count < 0 || size_ - position_ < static_cast<size_t>(count)) throw EReadError();
  *bytes = data_ + position_;
  position_ += static_cast<size_t>(count);
  return true;
}

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || position_ >= bytes_.size()) return 0;
  size_t n = std::min(static_cast<size_t>(count), bytes_.size() - position_);
  std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  return static_cast<int32_t>(n);
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  size_t end = position_ + static_cast<size_t>(count);
  if (end > bytes_.size()) bytes_.resize(end);
  std::memcpy(bytes_.data() + position_, bytes, static_cast<size_t>(count));
  position_ = end;
  return count;
}

bool TMemoryStream::Borrow(int32_t count, const uint8_t** bytes) {
  if (count < 0 || position_ > bytes_.size() || bytes_.size() - position_ < static_cast<size_t>(count)) throw EReadError();
  *bytes = bytes_.data() + position_;
  position_ += static_cast<size_t>(count);
  return true;
}
