#include "base/win/shortcut.h"

#include <propvarutil.h>
#include <shellapi.h>
#include <share.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <string>
#include <utility>

#include "base/files/file_path.h"
#include "base/strings/string16.h"
#include "gtest/gtest.h"

namespace base {
namespace win {

namespace {

const GUID kAppUserModelFormat = {
    0x9F4C2855, 0x9F79, 0x4B39, {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}};
constexpr DWORD kAppIdPid = 5;
constexpr DWORD kDualModePid = 11;

bool RunningUnderWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

// Wine's shell link accepts app-id properties but keeps none of them, and
// its IPropertyStore::GetValue returns E_NOTIMPL.
bool WineLinkStoreCannotRead() {
  if (!RunningUnderWine())
    return false;
  IShellLinkW* link = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&link)))) {
    return false;
  }
  IPropertyStore* store = nullptr;
  bool not_implemented = false;
  if (SUCCEEDED(link->QueryInterface(IID_PPV_ARGS(&store)))) {
    PROPVARIANT value;
    ::PropVariantInit(&value);
    not_implemented = store->GetValue(PROPERTYKEY{kAppUserModelFormat, kAppIdPid},
                                      &value) == E_NOTIMPL;
    ::PropVariantClear(&value);
    store->Release();
  }
  link->Release();
  return not_implemented;
}

constexpr char kWineStoreGap[] =
    "Wine gap: the shell link's IPropertyStore keeps no AppUserModel values "
    "and GetValue returns E_NOTIMPL";

FilePath Path(const std::wstring& text) {
  return FilePath(as_u16cstr(text.c_str()));
}

bool FileExists(const FilePath& path) {
  return ::GetFileAttributesW(as_wcstr(path.value())) != INVALID_FILE_ATTRIBUTES;
}

// A property store that keeps what it is given in memory, standing in for
// the shell link's store where the platform does not keep the app id.
class FakePropertyStore : public IPropertyStore {
 public:
  ~FakePropertyStore() {
    for (auto& entry : values_)
      ::PropVariantClear(&entry.second);
  }

  // Stores a value as a link would hand it back.
  void Put(DWORD pid, const PROPVARIANT& value) {
    PROPVARIANT copy;
    ::PropVariantCopy(&copy, &value);
    auto found = values_.find(pid);
    if (found != values_.end())
      ::PropVariantClear(&found->second);
    values_[pid] = copy;
  }
  const PROPVARIANT* Find(DWORD pid) const {
    auto found = values_.find(pid);
    return found == values_.end() ? nullptr : &found->second;
  }

  int commits = 0;
  bool fail_set = false;
  bool fail_get = false;

  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key,
                                     PROPVARIANT* value) override {
    ::PropVariantInit(value);
    if (fail_get || key.fmtid != kAppUserModelFormat)
      return E_FAIL;
    const PROPVARIANT* found = Find(key.pid);
    return found ? ::PropVariantCopy(value, found) : S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key,
                                     REFPROPVARIANT value) override {
    if (fail_set || key.fmtid != kAppUserModelFormat)
      return E_FAIL;
    Put(key.pid, value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Commit() override {
    ++commits;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override {
    *count = static_cast<DWORD>(values_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAt(DWORD, PROPERTYKEY*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override {
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

 private:
  std::map<DWORD, PROPVARIANT> values_;
};

class ShortcutTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    wchar_t temp[MAX_PATH];
    ASSERT_TRUE(::GetTempPathW(MAX_PATH, temp));
    wchar_t name[64];
    swprintf(name, 64, L"shortcut_test_%lu_%lu", ::GetCurrentProcessId(),
             ::GetTickCount());
    dir_ = std::wstring(temp) + name;
    ASSERT_TRUE(::CreateDirectoryW(dir_.c_str(), nullptr));
    target_ = Path(dir_ + L"\\target.exe");
    other_target_ = Path(dir_ + L"\\other.exe");
    for (const FilePath* file : {&target_, &other_target_}) {
      HANDLE handle = ::CreateFileW(as_wcstr(file->value()), GENERIC_WRITE, 0,
                                    nullptr, CREATE_ALWAYS, 0, nullptr);
      ASSERT_NE(INVALID_HANDLE_VALUE, handle);
      ::CloseHandle(handle);
    }
    link_ = Path(dir_ + L"\\Palvo.lnk");
  }

  void TearDown() override {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((dir_ + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        ::DeleteFileW((dir_ + L"\\" + data.cFileName).c_str());
      } while (::FindNextFileW(find, &data));
      ::FindClose(find);
    }
    ::RemoveDirectoryW(dir_.c_str());
    ::CoUninitialize();
  }

  ShortcutProperties FullProperties() const {
    ShortcutProperties properties;
    properties.set_target(target_);
    properties.set_working_dir(Path(dir_));
    properties.set_arguments(L"--flag \"quoted value\"");
    properties.set_description(L"The Palvo browser");
    properties.set_icon(other_target_, 3);
    return properties;
  }

  ShortcutProperties Resolve(uint32_t options) const {
    ShortcutProperties read;
    EXPECT_TRUE(ResolveShortcutProperties(link_, options, &read));
    return read;
  }

  std::wstring dir_;
  FilePath target_;
  FilePath other_target_;
  FilePath link_;
};

constexpr uint32_t kLinkFields = ShortcutProperties::PROPERTIES_TARGET |
                                 ShortcutProperties::PROPERTIES_WORKING_DIR |
                                 ShortcutProperties::PROPERTIES_ARGUMENTS |
                                 ShortcutProperties::PROPERTIES_DESCRIPTION |
                                 ShortcutProperties::PROPERTIES_ICON;

void ExpectSameLinkFields(const ShortcutProperties& expected,
                          const ShortcutProperties& actual) {
  EXPECT_EQ(expected.target, actual.target);
  EXPECT_EQ(expected.working_dir, actual.working_dir);
  EXPECT_EQ(expected.arguments, actual.arguments);
  EXPECT_EQ(expected.description, actual.description);
  EXPECT_EQ(expected.icon, actual.icon);
  EXPECT_EQ(expected.icon_index, actual.icon_index);
}

TEST_F(ShortcutTest, CreateAndResolveEveryField) {
  const ShortcutProperties written = FullProperties();
  ASSERT_TRUE(CreateOrUpdateShortcutLink(link_, written, SHORTCUT_CREATE_ALWAYS));

  ShortcutProperties read = Resolve(kLinkFields);
  EXPECT_EQ(kLinkFields, read.options);
  ExpectSameLinkFields(written, read);

  // Only what is asked for is read, and the options say so.
  read = Resolve(ShortcutProperties::PROPERTIES_DESCRIPTION);
  EXPECT_EQ(static_cast<uint32_t>(ShortcutProperties::PROPERTIES_DESCRIPTION),
            read.options);
  EXPECT_TRUE(read.target.empty());
  EXPECT_EQ(-1, read.icon_index);

  FilePath target;
  EXPECT_TRUE(ResolveShortcut(link_, &target));
  EXPECT_EQ(target_, target);
  EXPECT_TRUE(ResolveShortcut(link_, nullptr));
}

TEST_F(ShortcutTest, MissingOrBadInput) {
  // Without a target only an update may write.
  ShortcutProperties description_only;
  description_only.set_description(L"text");
  EXPECT_FALSE(CreateOrUpdateShortcutLink(link_, description_only,
                                          SHORTCUT_CREATE_ALWAYS));
  EXPECT_FALSE(CreateOrUpdateShortcutLink(link_, description_only,
                                          SHORTCUT_REPLACE_EXISTING));
  EXPECT_FALSE(FileExists(link_));

  // Replacing or updating needs a link to start from.
  EXPECT_FALSE(CreateOrUpdateShortcutLink(link_, FullProperties(),
                                          SHORTCUT_REPLACE_EXISTING));
  EXPECT_FALSE(CreateOrUpdateShortcutLink(link_, description_only,
                                          SHORTCUT_UPDATE_EXISTING));
  EXPECT_FALSE(CreateOrUpdateShortcutLink(
      link_, FullProperties(), static_cast<ShortcutOperation>(3)));
  EXPECT_FALSE(FileExists(link_));

  ShortcutProperties read;
  EXPECT_FALSE(ResolveShortcutProperties(link_, kLinkFields, &read));
  FilePath target(u"unchanged");
  EXPECT_FALSE(ResolveShortcut(link_, &target));
  EXPECT_EQ(FilePath(u"unchanged"), target);

  // A file that is no link cannot be read as one.
  EXPECT_FALSE(ResolveShortcut(target_, &target));
}

TEST_F(ShortcutTest, ReplaceKeepsOnlyTheArguments) {
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(link_, FullProperties(), SHORTCUT_CREATE_ALWAYS));

  ShortcutProperties replacement;
  replacement.set_target(other_target_);
  ASSERT_TRUE(CreateOrUpdateShortcutLink(link_, replacement,
                                         SHORTCUT_REPLACE_EXISTING));
  ShortcutProperties read = Resolve(kLinkFields);
  EXPECT_EQ(other_target_, read.target);
  EXPECT_EQ(FullProperties().arguments, read.arguments);
  EXPECT_TRUE(read.description.empty());
  EXPECT_TRUE(read.working_dir.empty());

  replacement.set_arguments(L"--new");
  ASSERT_TRUE(CreateOrUpdateShortcutLink(link_, replacement,
                                         SHORTCUT_REPLACE_EXISTING));
  EXPECT_EQ(L"--new", Resolve(kLinkFields).arguments);
}

TEST_F(ShortcutTest, UpdateChangesOnlyGivenFields) {
  const ShortcutProperties original = FullProperties();
  ASSERT_TRUE(CreateOrUpdateShortcutLink(link_, original, SHORTCUT_CREATE_ALWAYS));

  ShortcutProperties update;
  update.set_description(L"Renamed");
  ASSERT_TRUE(CreateOrUpdateShortcutLink(link_, update, SHORTCUT_UPDATE_EXISTING));

  ShortcutProperties expected = original;
  expected.description = L"Renamed";
  ExpectSameLinkFields(expected, Resolve(kLinkFields));

  // Create-always starts over, even over a file that is no link.
  ShortcutProperties fresh;
  fresh.set_target(other_target_);
  ASSERT_TRUE(CreateOrUpdateShortcutLink(link_, fresh, SHORTCUT_CREATE_ALWAYS));
  ShortcutProperties read = Resolve(kLinkFields);
  EXPECT_EQ(other_target_, read.target);
  EXPECT_TRUE(read.arguments.empty());
  ASSERT_TRUE(CreateOrUpdateShortcutLink(target_, fresh, SHORTCUT_CREATE_ALWAYS));
  EXPECT_TRUE(ResolveShortcut(target_, nullptr));
}

TEST_F(ShortcutTest, LongArgumentsSurvive) {
  // Longer than a path buffer: reading them into one would cut them.
  std::wstring arguments;
  for (int i = 0; i < 60; ++i)
    arguments += L"--switch" + std::to_wstring(i) + L" ";
  ASSERT_GT(arguments.size(), static_cast<size_t>(MAX_PATH));

  ShortcutProperties properties;
  properties.set_target(target_);
  properties.set_arguments(arguments);
  properties.set_description(arguments);
  ASSERT_TRUE(CreateOrUpdateShortcutLink(link_, properties, SHORTCUT_CREATE_ALWAYS));
  ShortcutProperties read = Resolve(kLinkFields);
  EXPECT_EQ(arguments, read.arguments);
  EXPECT_EQ(arguments, read.description);

  ShortcutProperties replacement;
  replacement.set_target(other_target_);
  ASSERT_TRUE(CreateOrUpdateShortcutLink(link_, replacement,
                                         SHORTCUT_REPLACE_EXISTING));
  EXPECT_EQ(arguments, Resolve(kLinkFields).arguments);
}

TEST_F(ShortcutTest, AppIdOfLinkWithoutOne) {
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(link_, FullProperties(), SHORTCUT_CREATE_ALWAYS));
  if (WineLinkStoreCannotRead())
    GTEST_SKIP() << kWineStoreGap;
  ShortcutProperties read;
  read.app_id = L"stale";
  read.dual_mode = true;
  ASSERT_TRUE(ResolveShortcutProperties(
      link_,
      ShortcutProperties::PROPERTIES_APP_ID |
          ShortcutProperties::PROPERTIES_DUAL_MODE,
      &read));
  EXPECT_EQ(static_cast<uint32_t>(ShortcutProperties::PROPERTIES_APP_ID |
                                  ShortcutProperties::PROPERTIES_DUAL_MODE),
            read.options);
  EXPECT_TRUE(read.app_id.empty());
  EXPECT_FALSE(read.dual_mode);
}

TEST_F(ShortcutTest, AppIdRoundTrip) {
  ShortcutProperties properties = FullProperties();
  properties.set_app_id(L"Palvo.Browser");
  properties.set_dual_mode(true);
  ASSERT_TRUE(CreateOrUpdateShortcutLink(link_, properties, SHORTCUT_CREATE_ALWAYS));
  if (WineLinkStoreCannotRead())
    GTEST_SKIP() << kWineStoreGap;
  ShortcutProperties read = Resolve(ShortcutProperties::PROPERTIES_APP_ID |
                                    ShortcutProperties::PROPERTIES_DUAL_MODE);
  EXPECT_EQ(L"Palvo.Browser", read.app_id);
  EXPECT_TRUE(read.dual_mode);
}

TEST(ShortcutPropertyStoreTest, WriteAndReadAppId) {
  FakePropertyStore store;
  ShortcutProperties written;
  written.set_app_id(L"Palvo.Browser");
  written.set_dual_mode(true);
  ASSERT_TRUE(internal::WriteAppIdProperties(&store, written));
  EXPECT_EQ(2, store.commits);
  ASSERT_TRUE(store.Find(kAppIdPid));
  EXPECT_EQ(VT_LPWSTR, store.Find(kAppIdPid)->vt);
  ASSERT_TRUE(store.Find(kDualModePid));
  EXPECT_EQ(VT_BOOL, store.Find(kDualModePid)->vt);
  EXPECT_EQ(VARIANT_TRUE, store.Find(kDualModePid)->boolVal);

  ShortcutProperties read;
  ASSERT_TRUE(internal::ReadAppIdProperties(
      &store,
      ShortcutProperties::PROPERTIES_APP_ID |
          ShortcutProperties::PROPERTIES_DUAL_MODE,
      &read));
  EXPECT_EQ(L"Palvo.Browser", read.app_id);
  EXPECT_TRUE(read.dual_mode);

  // Only the fields whose bits are set are touched.
  FakePropertyStore other;
  ShortcutProperties app_id_only;
  app_id_only.set_app_id(L"x");
  app_id_only.dual_mode = true;
  ASSERT_TRUE(internal::WriteAppIdProperties(&other, app_id_only));
  EXPECT_FALSE(other.Find(kDualModePid));
  EXPECT_EQ(1, other.commits);

  ShortcutProperties off;
  off.set_dual_mode(false);
  ASSERT_TRUE(internal::WriteAppIdProperties(&other, off));
  EXPECT_EQ(VARIANT_FALSE, other.Find(kDualModePid)->boolVal);
}

TEST(ShortcutPropertyStoreTest, FailuresAndUnexpectedTypes) {
  FakePropertyStore store;
  store.fail_set = true;
  ShortcutProperties written;
  written.set_app_id(L"Palvo.Browser");
  EXPECT_FALSE(internal::WriteAppIdProperties(&store, written));
  EXPECT_FALSE(SetBooleanValueForPropertyStore(
      &store, PROPERTYKEY{kAppUserModelFormat, kDualModePid}, true));
  // Nothing is committed after a failed set.
  EXPECT_EQ(0, store.commits);

  store.fail_set = false;
  PROPVARIANT number;
  ::PropVariantInit(&number);
  number.vt = VT_I4;
  number.lVal = 1;
  store.Put(kAppIdPid, number);
  store.Put(kDualModePid, number);
  ShortcutProperties read;
  EXPECT_FALSE(internal::ReadAppIdProperties(
      &store, ShortcutProperties::PROPERTIES_APP_ID, &read));
  EXPECT_FALSE(internal::ReadAppIdProperties(
      &store, ShortcutProperties::PROPERTIES_DUAL_MODE, &read));

  // Only VARIANT_TRUE reads as true.
  PROPVARIANT odd_bool;
  ::PropVariantInit(&odd_bool);
  odd_bool.vt = VT_BOOL;
  odd_bool.boolVal = 1;
  store.Put(kDualModePid, odd_bool);
  read.dual_mode = true;
  ASSERT_TRUE(internal::ReadAppIdProperties(
      &store, ShortcutProperties::PROPERTIES_DUAL_MODE, &read));
  EXPECT_FALSE(read.dual_mode);

  store.fail_get = true;
  EXPECT_FALSE(internal::ReadAppIdProperties(
      &store, ShortcutProperties::PROPERTIES_DUAL_MODE, &read));
}

// Wine has no handler for the pin verbs (ShellExecute returns 31); a verb
// command of our own that notes what it was given stands in for it.
class ScopedVerbHandler {
 public:
  ScopedVerbHandler(const std::wstring& verb, const std::wstring& marker)
      : key_path_(L"lnkfile\\shell\\" + verb) {
    HKEY key = nullptr;
    const std::wstring command =
        L"cmd.exe /c echo " + verb + L" %1> \"" + marker + L"\"";
    created_ = ::RegCreateKeyExW(HKEY_CLASSES_ROOT,
                                 (key_path_ + L"\\command").c_str(), 0,
                                 nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                 nullptr) == ERROR_SUCCESS;
    if (created_) {
      ::RegSetValueExW(key, nullptr, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * 2));
      ::RegCloseKey(key);
    }
  }
  ~ScopedVerbHandler() {
    if (created_)
      ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key_path_.c_str());
  }
  bool created() const { return created_; }

 private:
  std::wstring key_path_;
  bool created_ = false;
};

// The verb command runs on its own; its marker line is whole once it ends
// in a line break.
std::string WaitForMarker(const std::wstring& marker) {
  for (int attempt = 0; attempt < 600; ++attempt) {
    FILE* file = _wfsopen(marker.c_str(), L"r", _SH_DENYNO);
    if (file) {
      char line[MAX_PATH * 2] = {};
      const bool read = fgets(line, sizeof(line), file) != nullptr;
      fclose(file);
      const size_t length = strlen(line);
      if (read && length && line[length - 1] == '\n')
        return line;
    }
    ::Sleep(50);
  }
  return std::string();
}

TEST_F(ShortcutTest, PinVerbs) {
  ASSERT_TRUE(
      CreateOrUpdateShortcutLink(link_, FullProperties(), SHORTCUT_CREATE_ALWAYS));
  const bool wine_lacks_verbs =
      RunningUnderWine() &&
      reinterpret_cast<INT_PTR>(::ShellExecuteW(
          nullptr, L"taskbarpin", as_wcstr(link_.value()), nullptr, nullptr,
          0)) == SE_ERR_NOASSOC;
  if (!wine_lacks_verbs) {
    // A real shell: only where pinning by verb exists is there a result.
    if (CanPinShortcutToTaskbar()) {
      EXPECT_TRUE(TaskbarPinShortcutLink(link_));
      EXPECT_TRUE(TaskbarUnpinShortcutLink(link_));
    }
    return;
  }
  EXPECT_FALSE(TaskbarPinShortcutLink(link_));
  EXPECT_FALSE(TaskbarUnpinShortcutLink(link_));

  std::string link_path;
  for (char16 c : link_.value())
    link_path.push_back(static_cast<char>(c));
  for (const wchar_t* verb : {L"taskbarpin", L"taskbarunpin"}) {
    const std::wstring marker = dir_ + L"\\" + verb + L".txt";
    ScopedVerbHandler handler(verb, marker);
    ASSERT_TRUE(handler.created());
    const bool is_pin = std::wstring(verb) == L"taskbarpin";
    EXPECT_TRUE(is_pin ? TaskbarPinShortcutLink(link_)
                       : TaskbarUnpinShortcutLink(link_));
    std::string expected;
    for (const wchar_t* c = verb; *c; ++c)
      expected.push_back(static_cast<char>(*c));
    EXPECT_EQ(expected + " " + link_path + "\n", WaitForMarker(marker));
  }
}

TEST(ShortcutPinTest, PinningDependsOnVersion) {
  EXPECT_FALSE(internal::CanPinShortcutToTaskbarOn(OSInfo::VERSION_VISTA));
  EXPECT_TRUE(internal::CanPinShortcutToTaskbarOn(OSInfo::VERSION_WIN7));
  EXPECT_TRUE(internal::CanPinShortcutToTaskbarOn(OSInfo::VERSION_WIN8_1));
  EXPECT_FALSE(internal::CanPinShortcutToTaskbarOn(OSInfo::VERSION_WIN10));
  EXPECT_FALSE(internal::CanPinShortcutToTaskbarOn(OSInfo::VERSION_WIN10_TH2));
  EXPECT_EQ(internal::CanPinShortcutToTaskbarOn(GetVersion()),
            CanPinShortcutToTaskbar());
}

}  // namespace

}  // namespace win
}  // namespace base
