#include "base/pickle.h"

#include <limits.h>
#include <stdlib.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "base/logging.h"

namespace base {

namespace {

const size_t kFieldAlignment = 4;
const size_t kPayloadUnit = 64;
const size_t kPageSize = 4096;
const size_t kInitialPayloadCapacity = 64;
// The most that the 32-bit payload size can count, in whole fields.
const size_t kMaxPayloadSize = UINT32_MAX & ~size_t{3};

size_t AlignUp(size_t value, size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

}  // namespace

PickleIterator::PickleIterator()
    : payload_(nullptr), read_index_(0), end_index_(0) {}

PickleIterator::PickleIterator(const Pickle& pickle)
    : payload_(pickle.payload()),
      read_index_(0),
      end_index_(pickle.payload_size()) {}

const char* PickleIterator::GetReadPointerAndAdvance(size_t num_bytes) {
  size_t left = end_index_ - read_index_;
  if (num_bytes > left) {
    SkipToEnd();
    return nullptr;
  }
  const char* start = payload_ + read_index_;
  // A short padding after the last field is tolerated.
  read_index_ += std::min(AlignUp(num_bytes, kFieldAlignment), left);
  return start;
}

bool PickleIterator::ReadBool(bool* result) {
  const char* field = GetReadPointerAndAdvance(1);
  if (!field)
    return false;
  *result = *field != 0;
  return true;
}

bool PickleIterator::ReadInt(int* result) {
  const char* field = GetReadPointerAndAdvance(sizeof(int32_t));
  if (!field)
    return false;
  // Received buffers need not be aligned.
  int32_t value;
  memcpy(&value, field, sizeof(value));
  *result = value;
  return true;
}

const char* PickleIterator::ReadLengthPrefixed(size_t unit_size, int* length) {
  int count;
  if (!ReadInt(&count))
    return nullptr;
  if (count < 0 || static_cast<size_t>(count) > INT_MAX / unit_size) {
    SkipToEnd();
    return nullptr;
  }
  const char* bytes = GetReadPointerAndAdvance(count * unit_size);
  if (bytes)
    *length = count;
  return bytes;
}

bool PickleIterator::ReadString(std::string* result) {
  int length = 0;
  const char* bytes = ReadLengthPrefixed(1, &length);
  if (!bytes)
    return false;
  result->assign(bytes, length);
  return true;
}

bool PickleIterator::ReadString16(string16* result) {
  int length = 0;
  const char* bytes = ReadLengthPrefixed(sizeof(char16), &length);
  if (!bytes)
    return false;
  string16 units(length, 0);
  if (length)
    memcpy(&units[0], bytes, length * sizeof(char16));
  result->swap(units);
  return true;
}

Pickle::Pickle()
    : buffer_(nullptr),
      header_size_(kHeaderSize),
      capacity_after_header_(0),
      write_offset_(0) {
  Reallocate(kInitialPayloadCapacity);
  memset(buffer_, 0, kHeaderSize);
}

Pickle::Pickle(const char* data, int data_len)
    : buffer_(nullptr),
      header_size_(0),
      capacity_after_header_(kCapacityReadOnly),
      write_offset_(0) {
  if (!data || data_len < static_cast<int>(kHeaderSize))
    return;
  uint32_t payload_size;
  memcpy(&payload_size, data, sizeof(payload_size));
  // Unsigned throughout: a claimed payload larger than the data must not
  // turn into a negative header size.
  size_t length = static_cast<size_t>(data_len);
  if (payload_size >= length)
    return;
  size_t header_size = length - payload_size;
  if (header_size % kFieldAlignment != 0)
    return;
  buffer_ = const_cast<char*>(data);
  header_size_ = header_size;
  write_offset_ = payload_size;
}

Pickle::Pickle(const Pickle& other)
    : buffer_(nullptr),
      header_size_(other.header_size_),
      capacity_after_header_(0),
      write_offset_(other.write_offset_) {
  if (header_size_ == 0) {
    // Nothing valid to copy: stay an empty view whose reads fail.
    capacity_after_header_ = kCapacityReadOnly;
    return;
  }
  size_t payload_size = other.payload_size();
  Reallocate(AlignUp(payload_size, kPayloadUnit));
  memcpy(buffer_, other.buffer_, header_size_ + payload_size);
}

Pickle::~Pickle() {
  if (!IsReadOnly())
    free(buffer_);
}

const char* Pickle::payload() const {
  return header_size_ ? buffer_ + header_size_ : nullptr;
}

bool Pickle::InBuffer(const void* bytes) const {
  const uintptr_t address = reinterpret_cast<uintptr_t>(bytes);
  const uintptr_t start = reinterpret_cast<uintptr_t>(buffer_);
  return buffer_ && address >= start &&
         address < start + header_size_ + write_offset_;
}

bool Pickle::WriteString(const StringPiece& value) {
  // Text taken from this pickle's own payload would dangle once the buffer
  // grows: write a copy of it.
  if (InBuffer(value.data()))
    return WriteString(std::string(value.data(), value.size()));
  CHECK(value.size() <= static_cast<size_t>(INT_MAX));
  WriteInt(static_cast<int>(value.size()));
  WriteBytes(value.data(), value.size());
  return true;
}

bool Pickle::WriteString16(const StringPiece16& value) {
  if (InBuffer(value.data()))
    return WriteString16(string16(value.data(), value.size()));
  // The reader refuses byte counts beyond the int range; never write one.
  CHECK(value.size() <= static_cast<size_t>(INT_MAX) / sizeof(char16));
  WriteInt(static_cast<int>(value.size()));
  WriteBytes(value.data(), value.size() * sizeof(char16));
  return true;
}

void Pickle::WriteBytes(const void* bytes, size_t length) {
  // Lengths come from the string writers, which keep them below 2^31.
  const size_t padded = AlignUp(length, kFieldAlignment);
  char* field = ClaimBytes(padded);
  // Zero the last word first; the bytes then cover all of it but the
  // padding.
  if (padded != length)
    memset(field + padded - kFieldAlignment, 0, kFieldAlignment);
  if (length)
    memcpy(field, bytes, length);
}

void Pickle::Grow(size_t needed) {
  CHECK(!IsReadOnly());
  CHECK(needed >= write_offset_ && needed <= kMaxPayloadSize);
  size_t capacity = 2 * capacity_after_header_;
  // Above a page, whole pages less the allocator's own overhead.
  if (capacity > kPageSize)
    capacity = AlignUp(capacity, kPageSize) - kPayloadUnit;
  // Never beyond what the header can count, so that a write that fits
  // needs no check of its own.
  capacity = std::min(AlignUp(std::max(capacity, needed), kPayloadUnit),
                      kMaxPayloadSize);
  Reallocate(capacity);
}

void Pickle::Reallocate(size_t payload_capacity) {
  char* grown = static_cast<char*>(realloc(buffer_, header_size_ + payload_capacity));
  CHECK(grown);
  buffer_ = grown;
  capacity_after_header_ = payload_capacity;
}

}  // namespace base
