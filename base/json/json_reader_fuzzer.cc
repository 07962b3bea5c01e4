// Any text: the parse either fails with a code and a position, or gives a
// tree whose JSON reads back as an equal tree and writes out the same.

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "base/json/json_parser.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/logging.h"
#include "base/values.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  base::StringPiece input(reinterpret_cast<const char*>(data), size);
  base::internal::JSONParser parser;
  std::unique_ptr<base::Value> value = parser.Parse(input);
  if (!value) {
    CHECK(parser.error_code() != base::JSONReader::JSON_NO_ERROR);
    CHECK(parser.error_line() >= 1);
    CHECK(parser.error_column() >= 1);
    CHECK(!parser.GetErrorMessage().empty());
    return 0;
  }
  CHECK(parser.error_code() == base::JSONReader::JSON_NO_ERROR);

  std::string json;
  CHECK(base::JSONWriter::Write(*value, &json));
  base::internal::JSONParser reparser;
  std::unique_ptr<base::Value> reread = reparser.Parse(json);
  CHECK(reread) << reparser.GetErrorMessage() << " in " << json;
  CHECK(reread->Equals(value.get())) << json;

  std::string rewritten;
  CHECK(base::JSONWriter::Write(*reread, &rewritten));
  CHECK(rewritten == json) << json << " then " << rewritten;
  return 0;
}
