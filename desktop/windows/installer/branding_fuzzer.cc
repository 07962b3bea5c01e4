// Any text as the branding description: it never fails to load, and a
// getter answers a top-level string of the description exactly, anything
// else as empty, also along dotted paths.

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/logging.h"
#include "base/values.h"
#include "desktop/windows/installer/branding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Rejected input is logged as an error; thousands of them are only noise.
  base::SetMinLogLevel(base::LOG_FATAL);
  const base::StringPiece text(reinterpret_cast<const char*>(data), size);
  const installer::Branding branding(text);
  for (const char* key : {"product_name", "company_name", "urls.update",
                          "urls", "", ".", "a..b"}) {
    branding.GetStringAt(key);
  }

  std::unique_ptr<base::Value> root = base::JSONReader::Read(text);
  const base::DictionaryValue* dict = nullptr;
  if (!root || !root->GetAsDictionary(&dict))
    return 0;
  for (base::DictionaryValueIterator it(*dict); !it.IsAtEnd(); it.Advance()) {
    const std::string& key = it.key();
    std::string value;
    const std::string answer = branding.GetStringAt(key);
    if (key.find('.') != std::string::npos)
      continue;  // A dotted key is a path, not this entry.
    if (it.value().GetAsString(&value))
      CHECK_EQ(value, answer);
    else
      CHECK(answer.empty());
    // One level down, as the URL table is read.
    const base::DictionaryValue* inner = nullptr;
    if (!it.value().GetAsDictionary(&inner))
      continue;
    for (base::DictionaryValueIterator in(*inner); !in.IsAtEnd(); in.Advance()) {
      if (in.key().find('.') != std::string::npos)
        continue;
      std::string inner_value;
      const std::string inner_answer = branding.GetStringAt(key + "." + in.key());
      if (in.value().GetAsString(&inner_value))
        CHECK_EQ(inner_value, inner_answer);
      else
        CHECK(inner_answer.empty());
    }
  }
  return 0;
}
