#include "desktop/windows/installer/service/registry_entry.h"

#include <stdint.h>
#include <string.h>

#include <map>

#include "desktop/windows/installer/service/install_log.h"
#include "gtest/gtest.h"

namespace installer {

namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegDwordBigEndian = 5;
constexpr int kWin7 = 4;
constexpr int kWin10 = 7;
constexpr int kDeveloper = 2;

RegistryRoot Root(uintptr_t id) {
  return reinterpret_cast<RegistryRoot>(id);
}

const RegistryRoot kMachine = Root(0x80000002);
const RegistryRoot kUser = Root(0x80000001);

uint64_t Text(const char16* text) {
  return reinterpret_cast<uintptr_t>(text);
}

uint64_t Narrow(const char* text) {
  return reinterpret_cast<uintptr_t>(text);
}

// Expands from a table; an unknown name comes back bare, as the browser
// registration does it. Keeps one log per root.
class TableExpander : public VariableExpander {
 public:
  string16 Expand(const string16& name) override {
    auto found = variables.find(name);
    return found == variables.end() ? name : found->second;
  }
  std::vector<InstallLogRegistryKey>* GetRegistryLog(
      RegistryRoot root) override {
    if (root == kMachine)
      return &machine_log;
    return root == kUser ? &user_log : nullptr;
  }

  std::map<string16, string16> variables;
  std::vector<InstallLogRegistryKey> machine_log;
  std::vector<InstallLogRegistryKey> user_log;
};

RegistryEntryRow Row(uint32_t type, uint64_t data) {
  return {u"Software\\{Product}", u"{Name}", type, data, 0, nullptr, 0, 3};
}

class RegistryEntryTest : public testing::Test {
 protected:
  RegistryEntryTest() {
    expander_.variables[u"Product"] = u"Palvo";
    expander_.variables[u"Name"] = u"Value";
  }

  bool Build(const RegistryEntryRow& row, RegistryEntry::Change* change,
             RegistryRoot root = kUser, int version = kWin10,
             int channel = kDeveloper) {
    return RegistryEntry(row, &expander_)
        .BuildChange(root, version, channel, change);
  }

  TableExpander expander_;
};

}  // namespace

TEST_F(RegistryEntryTest, ExpandTemplate) {
  expander_.variables[u"Outer"] = u"<{Product}>";
  expander_.variables[u"Self"] = u"again {Self}";
  const RegistryEntry entry(Row(kRegSz, 0), &expander_);
  EXPECT_EQ(u"", entry.ExpandTemplate(nullptr));
  EXPECT_EQ(u"plain", entry.ExpandTemplate(u"plain"));
  EXPECT_EQ(u"a\\Palvo\\Value", entry.ExpandTemplate(u"a\\{Product}\\{Name}"));
  // Expanded text is taken as it is; unknown names lose their braces.
  EXPECT_EQ(u"x<{Product}>yValue", entry.ExpandTemplate(u"x{Outer}y{Name}"));
  EXPECT_EQ(u"again {Self}.", entry.ExpandTemplate(u"{Self}."));
  EXPECT_EQ(u"Unknown", entry.ExpandTemplate(u"{Unknown}"));
  EXPECT_EQ(u"}{open", entry.ExpandTemplate(u"}{open"));
  EXPECT_EQ(u"PalvoValue", entry.ExpandTemplate(u"{Product}{Name}"));
}

TEST_F(RegistryEntryTest, RowsThatDoNotApply) {
  RegistryEntry::Change change;
  RegistryEntryRow row = Row(kRegSz, Text(u"x"));
  row.min_windows_version = kWin10;
  EXPECT_TRUE(Build(row, &change, kUser, kWin7));
  EXPECT_FALSE(change.applies);
  EXPECT_TRUE(Build(row, &change, kUser, kWin10));
  EXPECT_TRUE(change.applies);

  row = Row(kRegSz, Text(u"x"));
  row.root = kMachine;
  EXPECT_TRUE(Build(row, &change, kUser));
  EXPECT_FALSE(change.applies);
  EXPECT_TRUE(Build(row, &change, kMachine));
  EXPECT_TRUE(change.applies);

  row = Row(kRegSz, Text(u"x"));
  row.min_channel = kDeveloper + 1;
  EXPECT_TRUE(Build(row, &change));
  EXPECT_FALSE(change.applies);
  // Rows that do not apply are not recorded either.
  RegistryEntry(row, &expander_).RecordChange(kUser, change);
  EXPECT_TRUE(expander_.user_log.empty());
}

TEST_F(RegistryEntryTest, DataByType) {
  RegistryEntry::Change change;
  ASSERT_TRUE(Build(Row(kRegDword, 0x1A), &change));
  EXPECT_EQ(u"Software\\Palvo", change.key);
  EXPECT_EQ(u"Value", change.value_name);
  EXPECT_EQ((std::vector<uint8_t>{0x1A, 0, 0, 0}), change.data);
  // A number that does not fit a DWORD makes the row invalid, not cut.
  EXPECT_FALSE(Build(Row(kRegDword, 0x100000000ull), &change));

  ASSERT_TRUE(Build(Row(kRegSz, Text(u"{Product}")), &change));
  std::vector<uint8_t> expected(12);
  memcpy(expected.data(), u"Palvo", 12);  // with its NUL
  EXPECT_EQ(expected, change.data);
  ASSERT_TRUE(Build(Row(kRegSz, 0), &change));
  EXPECT_TRUE(change.data.empty());

  ASSERT_TRUE(Build(Row(kRegBinary, Narrow("\x01\xab")), &change));
  EXPECT_EQ((std::vector<uint8_t>{0x01, 0xAB}), change.data);

  ASSERT_TRUE(Build(Row(kRowRemoveValue, 1234), &change));
  EXPECT_TRUE(change.applies);
  EXPECT_TRUE(change.data.empty());
  EXPECT_EQ(kRowRemoveValue, change.type);

  RegistryEntryRow row = Row(kRegSz, 0);
  row.value_name = nullptr;
  ASSERT_TRUE(Build(row, &change));
  EXPECT_EQ(u"", change.value_name);

  EXPECT_FALSE(Build(Row(kRegDwordBigEndian, 1), &change));
}

TEST_F(RegistryEntryTest, DeleteKeyRows) {
  RegistryEntry::Change change;
  RegistryEntryRow row = Row(kRowDeleteKey, 0);
  row.key = u"Software\\{Product}{Stream}";
  expander_.variables[u"Stream"] = u"Developer";
  ASSERT_TRUE(Build(row, &change));
  EXPECT_TRUE(change.delete_key);
  EXPECT_EQ(u"Software\\PalvoDeveloper", change.key);
  RegistryEntry(row, &expander_).RecordChange(kUser, change);
  EXPECT_TRUE(expander_.user_log.empty());

  // A key that expands to nothing would name the whole hive.
  row.key = u"{Empty}";
  expander_.variables[u"Empty"] = u"";
  EXPECT_FALSE(Build(row, &change));
}

TEST_F(RegistryEntryTest, RecordsWrittenValuesPerRoot) {
  RegistryEntry::Change change;
  const RegistryEntryRow row = Row(kRegDword, 0x1A);
  const RegistryEntry entry(row, &expander_);
  ASSERT_TRUE(entry.BuildChange(kMachine, kWin10, kDeveloper, &change));
  entry.RecordChange(kMachine, change);
  ASSERT_EQ(1u, expander_.machine_log.size());
  EXPECT_TRUE(expander_.user_log.empty());
  EXPECT_EQ("Software\\Palvo", expander_.machine_log[0].path);
  EXPECT_EQ(3, expander_.machine_log[0].clean);
  ASSERT_EQ(1u, expander_.machine_log[0].values.size());
  EXPECT_EQ("REG_DWORD", expander_.machine_log[0].values[0].type);
  EXPECT_EQ("Value", expander_.machine_log[0].values[0].name);
  EXPECT_EQ("0000001a", expander_.machine_log[0].values[0].data);

  // A root without a log records nothing.
  ASSERT_TRUE(entry.BuildChange(Root(5), kWin10, kDeveloper, &change));
  entry.RecordChange(Root(5), change);
  EXPECT_EQ(1u, expander_.machine_log.size());
}

}  // namespace installer
