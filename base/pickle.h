#ifndef BASE_PICKLE_H_
#define BASE_PICKLE_H_

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace base {

class Pickle;

// Reads the fields of a pickle back in the order they were written. Once a
// read fails, every later read fails too, so a caller may read a whole
// message and test only the last result.
class PickleIterator {
 public:
  PickleIterator();
  explicit PickleIterator(const Pickle& pickle);

  // Each returns false and leaves |result| untouched when the field is
  // missing or malformed.
  bool ReadBool(bool* result);
  bool ReadInt(int* result);
  bool ReadString(std::string* result);
  bool ReadString16(string16* result);

 private:
  // The start of the next |num_bytes| bytes, moving past them and their
  // padding; null (and the end reached) when fewer bytes are left.
  const char* GetReadPointerAndAdvance(size_t num_bytes);
  // Reads a length field and claims that many |unit_size| units after it.
  const char* ReadLengthPrefixed(size_t unit_size, int* length);
  void SkipToEnd() { read_index_ = end_index_; }

  const char* payload_;
  size_t read_index_;
  size_t end_index_;
};

// A growable byte buffer of 4-byte aligned fields behind a header holding
// the payload size. The layout is a wire format between processes:
// little-endian, 32-bit ints and lengths, every field padded with zeros to a
// multiple of 4 bytes.
class Pickle {
 public:
  // An empty, writable pickle.
  Pickle();
  // A read-only view of a received message; |data| is not copied and must
  // outlive the pickle. A malformed buffer gives a pickle whose reads all
  // fail.
  Pickle(const char* data, int data_len);
  // A writable copy (of a read-only view as well).
  Pickle(const Pickle& other);
  Pickle& operator=(const Pickle& other) = delete;
  virtual ~Pickle();

  // The whole message, header included; 0 bytes for a pickle without a
  // valid header. The header is up to date after every write, so a pointer
  // taken earlier shows the whole message while no write reallocates.
  const void* data() const { return buffer_; }
  size_t size() const { return header_size_ + payload_size(); }

  size_t payload_size() const { return write_offset_; }
  const char* payload() const;

  bool WriteBool(bool value) { return WriteInt(value ? 1 : 0); }
  bool WriteInt(int value) {
    // A copy of a received message may write at any offset: no typed store.
    const int32_t field = value;
    memcpy(ClaimBytes(sizeof(field)), &field, sizeof(field));
    return true;
  }
  bool WriteString(const StringPiece& value);
  bool WriteString16(const StringPiece16& value);

 private:
  static const size_t kHeaderSize = sizeof(uint32_t);
  static const size_t kCapacityReadOnly = static_cast<size_t>(-1);

  bool IsReadOnly() const { return capacity_after_header_ == kCapacityReadOnly; }
  // Whether |bytes| points into what this pickle holds.
  bool InBuffer(const void* bytes) const;

  // Claims |size| bytes (a multiple of 4) at the end of the payload, sets
  // the header's payload size and returns where they start; the caller
  // fills all of them. Inline, as every field write goes through here and
  // it rarely has to grow.
  char* ClaimBytes(size_t size) {
    const size_t offset = write_offset_;
    const size_t needed = offset + size;
    // One test for both slow cases: the all-ones capacity of a read-only
    // pickle wraps to 0 here, so it always takes the checked path.
    if (capacity_after_header_ + 1 <= needed)
      Grow(needed);
    write_offset_ = needed;
    char* const buffer = buffer_;
    // The header starts the allocation, so it is aligned; a typed store,
    // unlike a byte copy, cannot alias the members, which stay in registers.
    *reinterpret_cast<uint32_t*>(buffer) = static_cast<uint32_t>(needed);
    return buffer + header_size_ + offset;
  }
  // Appends |length| bytes as one field, zero-padded to a multiple of 4.
  void WriteBytes(const void* bytes, size_t length);
  // Makes room for a payload of |needed| bytes; out of line, being rare.
  void Grow(size_t needed);
  void Reallocate(size_t payload_capacity);

  char* buffer_;
  size_t header_size_;
  size_t capacity_after_header_;
  // The payload size: bytes written, or those a received message holds.
  size_t write_offset_;
};

}  // namespace base

#endif  // BASE_PICKLE_H_
