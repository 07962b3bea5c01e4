// A received message of any bytes, read with a sequence of field reads that
// the first byte chooses: reads stay inside the message, the first failed
// read is followed only by failures, and what was read writes back into a
// pickle that reads the same.

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "base/logging.h"
#include "base/pickle.h"

namespace {

enum FieldKind { kBool, kInt, kString, kString16 };

struct Field {
  FieldKind kind;
  int integer;
  std::string narrow;
  string16 wide;
};

bool ReadField(base::PickleIterator* iter, FieldKind kind, Field* field) {
  field->kind = kind;
  switch (kind) {
    case kBool: {
      bool value;
      if (!iter->ReadBool(&value))
        return false;
      field->integer = value;
      return true;
    }
    case kInt:
      return iter->ReadInt(&field->integer);
    case kString:
      return iter->ReadString(&field->narrow);
    default:
      return iter->ReadString16(&field->wide);
  }
}

void WriteField(const Field& field, base::Pickle* pickle) {
  switch (field.kind) {
    case kBool:
      pickle->WriteBool(field.integer != 0);
      break;
    case kInt:
      pickle->WriteInt(field.integer);
      break;
    case kString:
      pickle->WriteString(field.narrow);
      break;
    default:
      pickle->WriteString16(field.wide);
      break;
  }
}

bool SameField(const Field& a, const Field& b) {
  return a.kind == b.kind && a.integer == b.integer && a.narrow == b.narrow &&
         a.wide == b.wide;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 0x7FFFFFFF)
    return 0;
  const uint8_t plan = data[0];
  // The message starts at an odd address: reads must not need alignment.
  base::Pickle pickle(reinterpret_cast<const char*>(data + 1),
                      static_cast<int>(size - 1));
  base::Pickle copy(pickle);
  CHECK(copy.size() == pickle.size());

  const int kMaxReads = 64;
  std::vector<Field> fields;
  base::PickleIterator iter(pickle);
  bool failed = false;
  for (int i = 0; i < kMaxReads; ++i) {
    FieldKind kind = static_cast<FieldKind>(((plan >> (i % 8)) + i) % 4);
    Field field = Field();
    bool ok = ReadField(&iter, kind, &field);
    CHECK(!(failed && ok)) << "a read succeeded after a failed one";
    if (!ok)
      failed = true;
    else
      fields.push_back(field);
  }

  base::Pickle rewritten;
  for (const Field& field : fields)
    WriteField(field, &rewritten);
  base::PickleIterator reread(rewritten);
  for (const Field& field : fields) {
    Field again = Field();
    CHECK(ReadField(&reread, field.kind, &again));
    CHECK(SameField(field, again));
  }
  return 0;
}
