#ifndef BASE_COMMAND_LINE_H_
#define BASE_COMMAND_LINE_H_

#include <stddef.h>

#include <map>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "base/strings/string_piece.h"

namespace base {

// A process command line: the program, switches with optional values, and
// plain arguments. An item is a switch when it begins with "--", "-" or "/"
// and is longer than that prefix; its value follows the first "=". An item
// "--" ends the switches. Switch names are kept lower case without their
// prefix, and lookups take them in that form ("silent", not "--Silent").
class CommandLine {
 public:
  typedef std::map<std::string, string16> SwitchMap;

  CommandLine();
  explicit CommandLine(const FilePath& program);
  CommandLine(const CommandLine& other);
  CommandLine& operator=(const CommandLine& other);
  ~CommandLine();

  // Creates the process-wide instance from the text the process was
  // started with. Call once, before other threads start; false when it
  // exists already. Outside Windows there is no such text and the instance
  // starts empty.
  static bool Init();

  // The process-wide instance, or null before Init().
  static CommandLine* ForCurrentProcess();

#if defined(_WIN32)
  void InitFromArgv(int argc, const wchar_t* const* argv);

  // Splits |command_line| the way CommandLineToArgvW does. Text that is
  // only whitespace changes nothing.
  void ParseFromString(const string16& command_line);
#endif

  void InitFromArgvVector(const std::vector<string16>& argv);

  FilePath GetProgram() const;
  void SetProgram(const FilePath& program);

  // A null |name| looks up the empty name.
  bool HasSwitch(const char* name) const;

  // Empty when the switch is absent.
  string16 GetSwitchValueNative(StringPiece name) const;
  FilePath GetSwitchValuePath(StringPiece name) const;
  // Also empty when the value is not all ASCII.
  std::string GetSwitchValueASCII(StringPiece name) const;
  // Every switch by its lower-case key, in byte order of the keys.
  const SwitchMap& GetSwitches() const { return switches_; }

  // Adds a switch, or replaces the value of one added before. A name
  // without a prefix gets "--".
  void AppendSwitch(const std::string& name);
  void AppendSwitchPath(const std::string& name, const FilePath& path);
  void AppendSwitchASCII(const std::string& name, const std::string& value);
  void AppendSwitchNative(const std::string& name, const string16& value);

  // Copies those of |names| that |source| has, with their values.
  void CopySwitchesFrom(const CommandLine& source,
                        const char* const names[],
                        size_t count);

  // |value| is UTF-8 and is kept as an argument, whatever it looks like.
  void AppendArg(const std::string& value);

  // Parses |other|'s switches and arguments again into this one.
  void AppendArguments(const CommandLine& other, bool include_program);

  // Text that CommandLineToArgvW splits back into the same program,
  // switches and arguments. Empty (and an error logged) when the program
  // holds a double quote, which no such text can carry.
  string16 GetCommandLineString() const;
  string16 GetArgumentsString() const;

 private:
  // Views of the keys stored in |switches_|, ordered by bytes, so that a
  // lookup builds no string.
  typedef std::map<StringPiece, const string16*> SwitchIndex;

  void Reset();
  void RebuildSwitchIndex();
  void AppendSwitchesAndArguments(const std::vector<string16>& items);
  bool ArgumentsHaveTerminator() const;
  const string16* FindSwitch(StringPiece name) const;
  void ParseCurrentProcessCommandLine();

  static CommandLine* current_process_command_line_;

  // Item 0 is the program; then the switches as written; from |begin_args_|
  // on the arguments.
  std::vector<string16> argv_;
  SwitchMap switches_;
  SwitchIndex switch_index_;
  size_t begin_args_;
};

// |item| in the form that CommandLineToArgvW splits back into |item|.
string16 QuoteForCommandLineToArgvW(const string16& item);

}  // namespace base

#endif  // BASE_COMMAND_LINE_H_
