#include "base/location.h"

#include <functional>

namespace base {

Location::Location()
    : function_name_("Unknown"),
      file_name_("Unknown"),
      line_(-1),
      program_counter_(nullptr) {}

Location::Location(const char* function_name,
                   const char* file_name,
                   int line,
                   const void* program_counter)
    : function_name_(function_name),
      file_name_(file_name),
      line_(line),
      program_counter_(program_counter) {}

std::string Location::ToString() const {
  return std::string(function_name_) + "@" + file_name_ + ":" +
         std::to_string(line_);
}

bool Location::operator<(const Location& other) const {
  if (line_ != other.line_)
    return line_ < other.line_;
  std::less<const char*> less;
  if (file_name_ != other.file_name_)
    return less(file_name_, other.file_name_);
  return less(function_name_, other.function_name_);
}

bool Location::operator==(const Location& other) const {
  return line_ == other.line_ && file_name_ == other.file_name_ &&
         function_name_ == other.function_name_;
}

__attribute__((noinline)) const void* GetProgramCounter() {
  return __builtin_return_address(0);
}

}  // namespace base
