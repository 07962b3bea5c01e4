#include "desktop/windows/installer/service/install_log.h"

#include <stdint.h>

#include <string>

#include "base/files/file_util.h"
#include "desktop/windows/installer/service/win/xml_document_testsupport.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

constexpr char kHead[] =
    "<?xml version=\"1.0\"?>\n"
    "<install_log version=\"1.2.3\" copy_only=\"False\" all_users=\"True\" "
    "pinned=\"False\" app_id=\"id\">\n"
    " <path subfolder=\"sub\">C:\\Palvo</path>\n"
    " <files>\n  <file>a.dll</file>\n </files>\n";
constexpr char kTail[] = "</install_log>\n";

void ExpectSameKeys(const std::vector<InstallLogRegistryKey>& expected,
                    const std::vector<InstallLogRegistryKey>& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].path, actual[i].path);
    EXPECT_EQ(expected[i].clean, actual[i].clean);
    ASSERT_EQ(expected[i].values.size(), actual[i].values.size());
    for (size_t j = 0; j < expected[i].values.size(); ++j) {
      EXPECT_EQ(expected[i].values[j].name, actual[i].values[j].name);
      EXPECT_EQ(expected[i].values[j].type, actual[i].values[j].type);
      EXPECT_EQ(expected[i].values[j].data, actual[i].values[j].data);
    }
  }
}

void ExpectSameLogs(const InstallLog& expected, const InstallLog& actual) {
  EXPECT_EQ(expected.copy_only, actual.copy_only);
  EXPECT_EQ(expected.all_users, actual.all_users);
  EXPECT_EQ(expected.pinned, actual.pinned);
  EXPECT_EQ(expected.app_id, actual.app_id);
  EXPECT_EQ(expected.path, actual.path);
  EXPECT_EQ(expected.subfolder, actual.subfolder);
  EXPECT_EQ(expected.version, actual.version);
  EXPECT_EQ(expected.desktop_shortcut, actual.desktop_shortcut);
  EXPECT_EQ(expected.menu_shortcut, actual.menu_shortcut);
  EXPECT_EQ(expected.quick_launch_shortcut, actual.quick_launch_shortcut);
  EXPECT_EQ(expected.files, actual.files);
  EXPECT_EQ(expected.root_files, actual.root_files);
  ExpectSameKeys(expected.hklm_keys, actual.hklm_keys);
  ExpectSameKeys(expected.hkcu_keys, actual.hkcu_keys);
}

InstallLog FullLog() {
  InstallLog log;
  log.copy_only = false;
  log.all_users = false;
  log.pinned = true;
  log.app_id = "palvo.app";
  log.path = u"C:\\Users\\J\u00fcrgen\\Palvo \u65e5";
  log.subfolder = u"1.0 & <new>";
  log.version = "1.0.42";
  log.desktop_shortcut = u"C:\\Desktop\\Palvo.lnk";
  log.menu_shortcut = u"C:\\Menu\\Palvo.lnk";
  log.quick_launch_shortcut = u"C:\\Quick\\Palvo.lnk";
  log.files = {u"palvo.exe", u"locales\\de.pak", u"\"quoted\" & <x>"};
  log.root_files = {u"palvo_proxy.exe"};
  const char16 command[] = u"\"C:\\Palvo\\palvo.exe\" --url \"%1\"";
  RecordRegistryValue(&log.hklm_keys, u"Software\\Classes\\PalvoHTML",
                      u"", command, 1, sizeof(command), 1);
  const uint8_t binary[] = {0x01, 0xab};
  RecordRegistryValue(&log.hklm_keys, u"Software\\Classes\\PalvoHTML",
                      u"Bytes", binary, 3, sizeof(binary), 2);
  RecordRegistryValue(&log.hklm_keys, u"Software\\Empty", u"None", nullptr, 0,
                      0, -1);
  const uint32_t dword = 0x1a;
  RecordRegistryValue(&log.hkcu_keys, u"Software\\Palvo", u"Level", &dword, 4,
                      4, 0);
  return log;
}

class InstallLogFileTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(env_.com_ready()); }

  bool Save(const InstallLog& log) {
    StandInWriterXmlDocument document;
    return InstallLog::SaveToFile(&document, log, env_.file());
  }

  bool Load(InstallLog* log) {
    XmlDocument document;
    return InstallLog::LoadFromFile(&document, log, env_.file());
  }

  bool LoadText(const std::string& text, InstallLog* log) {
    EXPECT_TRUE(env_.WriteFileText(text));
    return Load(log);
  }

  bool LoadBody(const std::string& body) {
    InstallLog log;
    return LoadText(kHead + body + kTail, &log);
  }

  std::string FileText() {
    std::string text;
    EXPECT_TRUE(env_.ReadFileText(&text));
    return text;
  }

  XmlTestEnvironment env_;
};

TEST_F(InstallLogFileTest, DefaultLogIsWrittenButDoesNotReadBack) {
  ASSERT_TRUE(Save(InstallLog()));
  EXPECT_EQ(
      "<?xml version=\"1.0\"?>\n"
      "<install_log version=\"\" copy_only=\"False\" all_users=\"True\" "
      "pinned=\"False\" app_id=\"\">\n"
      " <path subfolder=\"\"/>\n"
      " <files/>\n"
      "</install_log>\n",
      FileText());
  InstallLog log;
  EXPECT_FALSE(Load(&log));
}

TEST_F(InstallLogFileTest, FullLogLayout) {
  InstallLog log = FullLog();
  log.path = u"C:\\Palvo";
  log.subfolder = u"1.0";
  log.files = {u"palvo.exe"};
  ASSERT_TRUE(Save(log));
  EXPECT_EQ(
      "<?xml version=\"1.0\"?>\n"
      "<install_log version=\"1.0.42\" copy_only=\"False\" "
      "all_users=\"False\" pinned=\"True\" app_id=\"palvo.app\">\n"
      " <path subfolder=\"1.0\">C:\\Palvo</path>\n"
      " <files>\n"
      "  <file>palvo.exe</file>\n"
      " </files>\n"
      " <root_files>\n"
      "  <file>palvo_proxy.exe</file>\n"
      " </root_files>\n"
      " <registry hive=\"HKLM\">\n"
      "  <key path=\"Software\\Classes\\PalvoHTML\" clean=\"2\">\n"
      "   <value name=\"\" type=\"REG_SZ\">\"C:\\Palvo\\palvo.exe\" --url "
      "\"%1\"</value>\n"
      "   <value name=\"Bytes\" type=\"REG_BINARY\">01,ab</value>\n"
      "  </key>\n"
      "  <key path=\"Software\\Empty\" clean=\"-1\">\n"
      "   <value name=\"None\" type=\"REG_NONE\"/>\n"
      "  </key>\n"
      " </registry>\n"
      " <registry hive=\"HKCU\">\n"
      "  <key path=\"Software\\Palvo\" clean=\"0\">\n"
      "   <value name=\"Level\" type=\"REG_DWORD\">0000001a</value>\n"
      "  </key>\n"
      " </registry>\n"
      " <shortcut type=\"SC_DEST_DESKTOP\">C:\\Desktop\\Palvo.lnk</shortcut>\n"
      " <shortcut type=\"SC_DEST_MENU\">C:\\Menu\\Palvo.lnk</shortcut>\n"
      " <shortcut type=\"SC_DEST_QUICK_LAUNCH\">C:\\Quick\\Palvo.lnk"
      "</shortcut>\n"
      "</install_log>\n",
      FileText());
}

TEST_F(InstallLogFileTest, RoundTrips) {
  InstallLog full = FullLog();
  // Inner tabs and runs of spaces are data, not layout.
  const char16 spaced[] = u"a\tb  c";
  RecordRegistryValue(&full.hkcu_keys, u"Software\\Palvo", u"Spaced", spaced,
                      1, sizeof(spaced), 0);
  full.files.push_back(u"two  spaces.txt");
  ASSERT_TRUE(Save(full));
  InstallLog read;
  ASSERT_TRUE(Load(&read));
  ExpectSameLogs(full, read);

  // Files only, for all users: the common shortcut names come back as the
  // same fields.
  InstallLog plain;
  plain.path = u"C:\\P";
  plain.files = {u"a", u"b"};
  plain.desktop_shortcut = u"D";
  plain.menu_shortcut = u"M";
  ASSERT_TRUE(Save(plain));
  EXPECT_NE(std::string::npos, FileText().find("SC_DEST_COMMON_DESKTOP"));
  EXPECT_NE(std::string::npos, FileText().find("SC_DEST_COMMON_MENU"));
  InstallLog plain_read;
  ASSERT_TRUE(Load(&plain_read));
  ExpectSameLogs(plain, plain_read);
}

TEST_F(InstallLogFileTest, LoadingEmptiesOnlyTheLists) {
  InstallLog log = FullLog();
  log.subfolder = u"kept";
  const std::string text =
      "<install_log version=\"2\" copy_only=\"true\" all_users=\"1\" "
      "pinned=\"True\">\n <path>  \n C:\\Folder \t\n</path>\n"
      " <files><file/><file> b </file></files>\n</install_log>";
  ASSERT_TRUE(LoadText(text, &log));
  EXPECT_EQ("2", log.version);
  // Only the exact "True" is true.
  EXPECT_FALSE(log.copy_only);
  EXPECT_FALSE(log.all_users);
  EXPECT_TRUE(log.pinned);
  // Absent optional attributes leave their fields as they were.
  EXPECT_EQ("palvo.app", log.app_id);
  EXPECT_EQ(u"kept", log.subfolder);
  EXPECT_EQ(u"C:\\Folder", log.path);
  EXPECT_EQ((std::vector<string16>{u"", u"b"}), log.files);
  EXPECT_TRUE(log.root_files.empty());
  EXPECT_TRUE(log.hklm_keys.empty());
  EXPECT_TRUE(log.hkcu_keys.empty());
  // The shortcuts are no list; they stay until a file names them.
  EXPECT_EQ(u"C:\\Desktop\\Palvo.lnk", log.desktop_shortcut);
}

TEST_F(InstallLogFileTest, ReadingSkipsCommentsAndTrimsValues) {
  InstallLog log;
  const std::string text =
      "<?xml version=\"1.0\"?>\n<!-- kept by hand -->\n"
      "<install_log version=\"1\" copy_only=\"False\" all_users=\"True\" "
      "pinned=\"False\" app_id=\"\">\n<!-- a -->\n"
      " <path subfolder=\"\"></path>\n <!-- b -->\n"
      " <files><!-- c --><file>x</file></files>\n"
      " <registry hive=\"HKCU\"><!-- d -->\n"
      "  <key path=\"K\" clean=\"+3\"><value name=\"n\" type=\"REG_BINARY\">"
      " 01,ab </value><!-- e --></key>\n"
      "  <key path=\"L\" clean=\"-2\"/>\n"
      " </registry>\n"
      " <registry hive=\"HKCU\"><key path=\"M\" clean=\"0\"/></registry>\n"
      " <shortcut type=\"SC_DEST_MENU\">first</shortcut>\n"
      " <shortcut type=\"SC_DEST_COMMON_MENU\">second</shortcut>\n"
      " <!-- f -->\n</install_log>\n<!-- g -->\n";
  ASSERT_TRUE(LoadText(text, &log));
  EXPECT_EQ(u"", log.path);
  ASSERT_EQ(3u, log.hkcu_keys.size());
  EXPECT_EQ(3, log.hkcu_keys[0].clean);
  ASSERT_EQ(1u, log.hkcu_keys[0].values.size());
  EXPECT_EQ("01,ab", log.hkcu_keys[0].values[0].data);
  EXPECT_EQ(-2, log.hkcu_keys[1].clean);
  EXPECT_TRUE(log.hkcu_keys[1].values.empty());
  EXPECT_EQ("M", log.hkcu_keys[2].path);
  EXPECT_EQ(u"second", log.menu_shortcut);
}

TEST_F(InstallLogFileTest, BreachesOfTheFormatFailTheLoad) {
  // A good body, to show that the cases below fail for their own reason.
  EXPECT_TRUE(LoadBody(" <registry hive=\"HKLM\"><key path=\"K\" clean=\"1\"/>"
                       "</registry>\n <shortcut type=\"SC_DEST_DESKTOP\">d"
                       "</shortcut>\n"));
  const char* const kBadBodies[] = {
      // Out of order or unknown elements.
      " <shortcut type=\"SC_DEST_DESKTOP\">d</shortcut>\n <registry "
      "hive=\"HKLM\"><key path=\"K\" clean=\"1\"/></registry>\n",
      " <shortcut type=\"SC_DEST_DESKTOP\">d</shortcut>\n <extra/>\n",
      " <extra/>\n",
      " <root_files><file>r</file></root_files>\n <extra/>\n",
      " <registry hive=\"HKLM\"><key path=\"K\" clean=\"1\"/></registry>\n"
      " <root_files><file>r</file></root_files>\n",
      " <root_files/>\n",
      " <root_files><other>r</other></root_files>\n",
      " <files><file>again</file></files>\n",
      // Registry rules.
      " <registry hive=\"HKCR\"><key path=\"K\" clean=\"1\"/></registry>\n",
      " <registry hive=\"hklm\"><key path=\"K\" clean=\"1\"/></registry>\n",
      " <registry><key path=\"K\" clean=\"1\"/></registry>\n",
      " <registry hive=\"HKLM\"/>\n",
      " <registry hive=\"HKLM\"><value name=\"n\" type=\"REG_SZ\"/></registry>\n",
      " <registry hive=\"HKLM\"><key clean=\"1\"/></registry>\n",
      " <registry hive=\"HKLM\"><key path=\"K\"/></registry>\n",
      " <registry hive=\"HKLM\"><key path=\"K\" clean=\" 1\"/></registry>\n",
      " <registry hive=\"HKLM\"><key path=\"K\" clean=\"1x\"/></registry>\n",
      " <registry hive=\"HKLM\"><key path=\"K\" clean=\"\"/></registry>\n",
      " <registry hive=\"HKLM\"><key path=\"K\" clean=\"99999999999\"/>"
      "</registry>\n",
      " <registry hive=\"HKLM\"><key path=\"K\" clean=\"1\"><key path=\"L\" "
      "clean=\"1\"/></key></registry>\n",
      " <registry hive=\"HKLM\"><key path=\"K\" clean=\"1\"><value "
      "type=\"REG_SZ\"/></key></registry>\n",
      " <registry hive=\"HKLM\"><key path=\"K\" clean=\"1\"><value "
      "name=\"n\"/></key></registry>\n",
      // Shortcut rules.
      " <shortcut>d</shortcut>\n",
      " <shortcut type=\"SC_DEST_STARTUP\">d</shortcut>\n",
      " <shortcut type=\"sc_dest_desktop\">d</shortcut>\n",
  };
  for (const char* body : kBadBodies)
    EXPECT_FALSE(LoadBody(body)) << body;
}

TEST_F(InstallLogFileTest, BrokenHeadsFailTheLoad) {
  const char* const kBadTexts[] = {
      "<other version=\"1\" copy_only=\"False\" all_users=\"True\" "
      "pinned=\"False\"><path/><files><file/></files></other>",
      "<install_log copy_only=\"False\" all_users=\"True\" "
      "pinned=\"False\"><path/><files><file/></files></install_log>",
      "<install_log version=\"1\" copy_only=\"False\" all_users=\"True\">"
      "<path/><files><file/></files></install_log>",
      "<Install_Log version=\"1\" copy_only=\"False\" all_users=\"True\" "
      "pinned=\"False\"><path/><files><file/></files></Install_Log>",
      "<install_log version=\"1\" copy_only=\"False\" all_users=\"True\" "
      "pinned=\"False\"><files><file/></files><path/></install_log>",
      "<install_log version=\"1\" copy_only=\"False\" all_users=\"True\" "
      "pinned=\"False\"><path/></install_log>",
      "<install_log version=\"1\" copy_only=\"False\" all_users=\"True\" "
      "pinned=\"False\"><path/><files/></install_log>",
      "<install_log version=\"1\" copy_only=\"False\" all_users=\"True\" "
      "pinned=\"False\"><path/><files><dir/></files></install_log>",
      "<install_log version=\"1\" copy_only=\"False\" all_users=\"True\" "
      "pinned=\"False\"/>",
      // A document type, with an entity standing in for the install folder.
      "<!DOCTYPE install_log [<!ENTITY p \"C:\\Windows\">]>"
      "<install_log version=\"1\" copy_only=\"False\" all_users=\"True\" "
      "pinned=\"False\"><path>&p;</path><files><file>a</file></files>"
      "</install_log>",
      // Not well-formed: cut off in the middle.
      "<install_log version=\"1\" copy_only=\"False\" all_users=\"True\" "
      "pinned=\"False\"><path/><files><file>a</file>",
      "",
      "\xff\xfe\x00garbage",
  };
  for (const char* text : kBadTexts) {
    InstallLog log;
    EXPECT_FALSE(LoadText(text, &log)) << text;
  }
  InstallLog missing;
  missing.files = {u"stale"};
  ASSERT_TRUE(base::DeleteFile(env_.file(), false));
  EXPECT_FALSE(Load(&missing));
  EXPECT_TRUE(missing.files.empty());
}

TEST_F(InstallLogFileTest, FileNamesAreNoUrls) {
  // "%20" would name "a b" and "#" would end the name, were it a URL.
  const base::FilePath folder = env_.file().DirName().Append(u"Palvo%20#1");
  ASSERT_TRUE(base::CreateDirectory(folder));
  const base::FilePath file = folder.Append(u"installation_status.xml");
  const InstallLog full = FullLog();
  StandInWriterXmlDocument written;
  ASSERT_TRUE(InstallLog::SaveToFile(&written, full, file));
  XmlDocument document;
  InstallLog read;
  ASSERT_TRUE(InstallLog::LoadFromFile(&document, &read, file));
  ExpectSameLogs(full, read);
}

TEST_F(InstallLogFileTest, SaveFailsForAnUnwritableTarget) {
  StandInWriterXmlDocument document;
  const base::FilePath folder(u"C:\\no\\such\\folder\\installation_status.xml");
  EXPECT_FALSE(InstallLog::SaveToFile(&document, FullLog(), folder));
}

}  // namespace
}  // namespace installer
