#include "base/command_line.h"

#include <algorithm>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

CommandLine* CommandLine::current_process_command_line_ = nullptr;

namespace {

const char16* const kSwitchPrefixes[] = {u"--", u"-", u"/"};
const char16 kSwitchTerminator[] = u"--";
const char16 kSwitchValueSeparator = u'=';

// Tried in order, so "--x" has a prefix of 2.
size_t GetSwitchPrefixLength(const string16& item) {
  for (const char16* prefix : kSwitchPrefixes) {
    const string16 prefix_text(prefix);
    if (item.compare(0, prefix_text.size(), prefix_text) == 0)
      return prefix_text.size();
  }
  return 0;
}

// An item that is only a prefix ("-", "--", "/") is no switch. The name
// keeps its prefix; later "=" belong to the value.
bool IsSwitch(const string16& item, string16* name, string16* value) {
  name->clear();
  value->clear();
  const size_t prefix_length = GetSwitchPrefixLength(item);
  if (prefix_length == 0 || prefix_length == item.size())
    return false;
  const size_t equals = item.find(kSwitchValueSeparator);
  *name = item.substr(0, equals);
  if (equals != string16::npos)
    *value = item.substr(equals + 1);
  return true;
}

// A name that is nothing but a prefix keeps its "=" when written, because
// "--" alone would end the switches and "-" or "/" alone would be an
// argument when the text is parsed again.
bool IsBarePrefix(const string16& name) {
  return !name.empty() && GetSwitchPrefixLength(name) == name.size();
}

string16 CutAtNul(const string16& text) {
  return text.substr(0, text.find(char16(0)));
}

string16 TrimWhitespace(const string16& text) {
  string16 trimmed;
  TrimString16(text, kWhitespaceUTF16, &trimmed);
  return trimmed;
}

// Names are narrowed to their low bytes, so distinct wide names may meet in
// one key. A unit above U+00FF can also narrow to a NUL, an "=" or
// whitespace; the name is cut and trimmed as parsing the written switch
// again would, so that a child started with this command line sees the
// same key as this process does.
std::string NarrowSwitchName(const string16& name) {
  const std::string narrowed = UTF16ToASCII(name);
  const std::string cut =
      narrowed.substr(0, narrowed.find_first_of(std::string("\0=", 2)));
  return UTF16ToASCII(TrimWhitespace(ASCIIToUTF16(cut)));
}

// Besides the space, CommandLineToArgvW splits at tabs, so an item holding
// one is quoted too or it would come back as two items.
bool NeedsQuoting(const string16& item) {
  return item.find_first_of(u" \t\\\"") != string16::npos;
}

}  // namespace

string16 QuoteForCommandLineToArgvW(const string16& item) {
  if (!NeedsQuoting(item))
    return item;

  string16 quoted;
  quoted.reserve(item.size() * 2 + 2);
  quoted.push_back(u'"');
  for (size_t i = 0; i < item.size(); ++i) {
    if (item[i] == u'\\') {
      // Backslashes are literal unless a double quote follows them; the
      // closing quote counts, so a run at the end is doubled too.
      const size_t run_end = item.find_first_not_of(u'\\', i);
      const size_t run_length =
          (run_end == string16::npos ? item.size() : run_end) - i;
      const bool before_quote =
          run_end == string16::npos || item[run_end] == u'"';
      quoted.append(before_quote ? run_length * 2 : run_length, u'\\');
      i += run_length - 1;
    } else if (item[i] == u'"') {
      quoted.append(u"\\\"");
    } else {
      quoted.push_back(item[i]);
    }
  }
  quoted.push_back(u'"');
  return quoted;
}

CommandLine::CommandLine() : argv_(1), begin_args_(1) {}

CommandLine::CommandLine(const FilePath& program) : CommandLine() {
  SetProgram(program);
}

CommandLine::CommandLine(const CommandLine& other)
    : argv_(other.argv_),
      switches_(other.switches_),
      begin_args_(other.begin_args_) {
  RebuildSwitchIndex();
}

CommandLine& CommandLine::operator=(const CommandLine& other) {
  if (this == &other)
    return *this;
  argv_ = other.argv_;
  switches_ = other.switches_;
  begin_args_ = other.begin_args_;
  RebuildSwitchIndex();
  return *this;
}

CommandLine::~CommandLine() = default;

// static
bool CommandLine::Init() {
  if (current_process_command_line_)
    return false;
  current_process_command_line_ = new CommandLine();
  current_process_command_line_->ParseCurrentProcessCommandLine();
  return true;
}

// static
CommandLine* CommandLine::ForCurrentProcess() {
  return current_process_command_line_;
}

#if !defined(_WIN32)
void CommandLine::ParseCurrentProcessCommandLine() {}
#endif

void CommandLine::Reset() {
  argv_.assign(1, string16());
  switches_.clear();
  switch_index_.clear();
  begin_args_ = 1;
}

void CommandLine::RebuildSwitchIndex() {
  switch_index_.clear();
  for (const auto& entry : switches_)
    switch_index_[StringPiece(entry.first)] = &entry.second;
}

void CommandLine::InitFromArgvVector(const std::vector<string16>& argv) {
  Reset();
  if (argv.empty())
    return;
  SetProgram(FilePath(argv[0]));
  AppendSwitchesAndArguments(argv);
}

void CommandLine::AppendSwitchesAndArguments(
    const std::vector<string16>& items) {
  bool parse_switches = true;
  string16 name;
  string16 value;
  for (size_t i = 1; i < items.size(); ++i) {
    const string16 item = TrimWhitespace(CutAtNul(items[i]));
    if (item.empty())
      continue;
    if (item == kSwitchTerminator)
      parse_switches = false;
    if (parse_switches && IsSwitch(item, &name, &value)) {
      AppendSwitchNative(NarrowSwitchName(name), value);
    } else {
      argv_.push_back(item);
    }
  }
}

FilePath CommandLine::GetProgram() const {
  return FilePath(argv_[0]);
}

void CommandLine::SetProgram(const FilePath& program) {
  argv_[0] = TrimWhitespace(program.value());
}

const string16* CommandLine::FindSwitch(StringPiece name) const {
  SwitchIndex::const_iterator found = switch_index_.find(name);
  return found == switch_index_.end() ? nullptr : found->second;
}

bool CommandLine::HasSwitch(const char* name) const {
  return FindSwitch(name ? StringPiece(name) : StringPiece()) != nullptr;
}

string16 CommandLine::GetSwitchValueNative(StringPiece name) const {
  const string16* value = FindSwitch(name);
  return value ? *value : string16();
}

FilePath CommandLine::GetSwitchValuePath(StringPiece name) const {
  return FilePath(GetSwitchValueNative(name));
}

std::string CommandLine::GetSwitchValueASCII(StringPiece name) const {
  const string16* value = FindSwitch(name);
  if (!value || !IsStringASCII16(*value))
    return std::string();
  return UTF16ToASCII(*value);
}

void CommandLine::AppendSwitch(const std::string& name) {
  AppendSwitchNative(name, string16());
}

void CommandLine::AppendSwitchPath(const std::string& name,
                                   const FilePath& path) {
  AppendSwitchNative(name, path.value());
}

void CommandLine::AppendSwitchASCII(const std::string& name,
                                    const std::string& value) {
  AppendSwitchNative(name, ASCIIToUTF16(value));
}

void CommandLine::AppendSwitchNative(const std::string& name,
                                     const string16& value) {
  // A NUL would cut the text of a child's command line short, so neither
  // name nor value keeps one.
  const std::string key_text = ToLowerASCII(name.substr(0, name.find('\0')));
  const string16 stored_value = CutAtNul(value);

  string16 written = ASCIIToUTF16(key_text);
  const size_t prefix_length = GetSwitchPrefixLength(written);
  const std::string key = key_text.substr(prefix_length);

  auto stored = switches_.insert_or_assign(key, stored_value).first;
  switch_index_[StringPiece(stored->first)] = &stored->second;

  if (prefix_length == 0)
    written.insert(0, kSwitchTerminator);
  if (!stored_value.empty() || IsBarePrefix(written)) {
    written.push_back(kSwitchValueSeparator);
    written.append(stored_value);
  }
  argv_.insert(argv_.begin() + begin_args_, written);
  ++begin_args_;
}

void CommandLine::CopySwitchesFrom(const CommandLine& source,
                                   const char* const names[],
                                   size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const char* name = names[i] ? names[i] : "";
    if (source.HasSwitch(name))
      AppendSwitchNative(name, source.GetSwitchValueNative(name));
  }
}

bool CommandLine::ArgumentsHaveTerminator() const {
  return std::find(argv_.begin() + begin_args_, argv_.end(),
                   string16(kSwitchTerminator)) != argv_.end();
}

void CommandLine::AppendArg(const std::string& value) {
  const string16 argument = CutAtNul(UTF8ToUTF16(value));
  // An argument that would read as a switch once the text is parsed again
  // goes behind a terminator, so that a child process sees an argument.
  string16 name;
  string16 ignored_value;
  if (IsSwitch(TrimWhitespace(argument), &name, &ignored_value) &&
      !ArgumentsHaveTerminator()) {
    argv_.push_back(kSwitchTerminator);
  }
  argv_.push_back(argument);
}

void CommandLine::AppendArguments(const CommandLine& other,
                                  bool include_program) {
  // A copy, so that appending an instance to itself is safe.
  const std::vector<string16> items = other.argv_;
  if (include_program)
    SetProgram(other.GetProgram());
  AppendSwitchesAndArguments(items);
}

string16 CommandLine::GetArgumentsString() const {
  string16 text;
  bool parse_switches = true;
  string16 name;
  string16 value;
  for (size_t i = 1; i < argv_.size(); ++i) {
    const string16& item = argv_[i];
    if (item == kSwitchTerminator)
      parse_switches = false;
    if (i > 1)
      text.push_back(u' ');
    if (!parse_switches || !IsSwitch(item, &name, &value)) {
      text.append(QuoteForCommandLineToArgvW(item));
    } else if (NeedsQuoting(name)) {
      // A name with a space or a quote in it came from crafted text;
      // written bare it would split into further switches in the child.
      text.append(QuoteForCommandLineToArgvW(item));
    } else {
      text.append(name);
      if (!value.empty() || IsBarePrefix(name)) {
        text.push_back(kSwitchValueSeparator);
        text.append(QuoteForCommandLineToArgvW(value));
      }
    }
  }
  return text;
}

string16 CommandLine::GetCommandLineString() const {
  // CommandLineToArgvW reads the program without escapes: from an opening
  // quote to the next quote, else up to whitespace. So it is quoted but
  // never escaped, and one holding a quote cannot be written at all: its
  // end would move into the arguments.
  const string16& program = argv_[0];
  if (program.find(u'"') != string16::npos) {
    LOG(ERROR) << "A program path holding a double quote cannot be written "
                  "on a command line: "
               << program;
    return string16();
  }
  // Backslashes keep a path quoted as before; Windows also ends an
  // unquoted program at line breaks.
  string16 text = program.find_first_of(u" \t\r\n\v\f\\") == string16::npos
                      ? program
                      : u"\"" + program + u"\"";
  const string16 arguments = GetArgumentsString();
  if (!arguments.empty()) {
    text.push_back(u' ');
    text.append(arguments);
  }
  return text;
}

}  // namespace base
