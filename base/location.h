#ifndef BASE_LOCATION_H_
#define BASE_LOCATION_H_

#include <string>

namespace base {

// Names the code that posted a task: function, file, line and the address
// inside the posting code. The texts are static literals and never copied.
class Location {
 public:
  Location();
  Location(const char* function_name,
           const char* file_name,
           int line,
           const void* program_counter);

  const char* function_name() const { return function_name_; }
  const char* file_name() const { return file_name_; }
  int line_number() const { return line_; }
  const void* program_counter() const { return program_counter_; }

  // "function@file:line", for log lines.
  std::string ToString() const;

  // Orders locations so that they can key a map. The texts are compared by
  // address: the same posting site always passes the same literals.
  bool operator<(const Location& other) const;
  bool operator==(const Location& other) const;

 private:
  const char* function_name_;
  const char* file_name_;
  int line_;
  const void* program_counter_;
};

// The return address of its caller.
const void* GetProgramCounter();

}  // namespace base

#define FROM_HERE                                             \
  ::base::Location(__func__, __FILE__, __LINE__,              \
                   ::base::GetProgramCounter())

#endif  // BASE_LOCATION_H_
