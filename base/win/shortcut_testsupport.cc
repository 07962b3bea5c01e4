#include "base/win/shortcut_testsupport.h"

#include <objidl.h>
#include <propsys.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string.h>

#include <map>
#include <string>

namespace base {
namespace win {

namespace {

struct KeyLess {
  bool operator()(const PROPERTYKEY& a, const PROPERTYKEY& b) const {
    const int order = memcmp(&a.fmtid, &b.fmtid, sizeof(GUID));
    return order != 0 ? order < 0 : a.pid < b.pid;
  }
};

using PropertyMap = std::map<PROPERTYKEY, PROPVARIANT, KeyLess>;

void ClearValues(PropertyMap* values) {
  for (auto& entry : *values)
    ::PropVariantClear(&entry.second);
  values->clear();
}

void CopyValues(const PropertyMap& from, PropertyMap* to) {
  ClearValues(to);
  for (const auto& entry : from) {
    PROPVARIANT copy;
    ::PropVariantCopy(&copy, &entry.second);
    (*to)[entry.first] = copy;
  }
}

// The values of every link saved while the class is registered, by path.
std::map<std::wstring, PropertyMap>& SavedValues() {
  static auto* saved = new std::map<std::wstring, PropertyMap>();
  return *saved;
}

// The platform's own link class, to build the wrapped links with.
IClassFactory* g_platform_factory = nullptr;

class RecordingShellLink final : public IShellLinkW,
                                 public IPersistFile,
                                 public IPropertyStore {
 public:
  RecordingShellLink(IShellLinkW* link, IPersistFile* persist)
      : link_(link), persist_(persist) {}

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_IShellLinkW) {
      *object = static_cast<IShellLinkW*>(this);
    } else if (iid == IID_IPersistFile || iid == IID_IPersist) {
      *object = static_cast<IPersistFile*>(this);
    } else if (iid == IID_IPropertyStore) {
      *object = static_cast<IPropertyStore*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG refs = --refs_;
    if (refs == 0)
      delete this;
    return refs;
  }

  // IShellLinkW: the platform's link does the work.
  HRESULT STDMETHODCALLTYPE GetPath(LPWSTR file, int size, WIN32_FIND_DATAW* data,
                                    DWORD flags) override {
    return link_->GetPath(file, size, data, flags);
  }
  HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE* list) override {
    return link_->GetIDList(list);
  }
  HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE list) override {
    return link_->SetIDList(list);
  }
  HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR name, int size) override {
    return link_->GetDescription(name, size);
  }
  HRESULT STDMETHODCALLTYPE SetDescription(LPCWSTR name) override {
    return link_->SetDescription(name);
  }
  HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR dir, int size) override {
    return link_->GetWorkingDirectory(dir, size);
  }
  HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR dir) override {
    return link_->SetWorkingDirectory(dir);
  }
  HRESULT STDMETHODCALLTYPE GetArguments(LPWSTR args, int size) override {
    return link_->GetArguments(args, size);
  }
  HRESULT STDMETHODCALLTYPE SetArguments(LPCWSTR args) override {
    return link_->SetArguments(args);
  }
  HRESULT STDMETHODCALLTYPE GetHotkey(WORD* hotkey) override {
    return link_->GetHotkey(hotkey);
  }
  HRESULT STDMETHODCALLTYPE SetHotkey(WORD hotkey) override {
    return link_->SetHotkey(hotkey);
  }
  HRESULT STDMETHODCALLTYPE GetShowCmd(int* show) override {
    return link_->GetShowCmd(show);
  }
  HRESULT STDMETHODCALLTYPE SetShowCmd(int show) override {
    return link_->SetShowCmd(show);
  }
  HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR path, int size,
                                            int* index) override {
    return link_->GetIconLocation(path, size, index);
  }
  HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR path, int index) override {
    return link_->SetIconLocation(path, index);
  }
  HRESULT STDMETHODCALLTYPE SetRelativePath(LPCWSTR path,
                                            DWORD reserved) override {
    return link_->SetRelativePath(path, reserved);
  }
  HRESULT STDMETHODCALLTYPE Resolve(HWND window, DWORD flags) override {
    return link_->Resolve(window, flags);
  }
  HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR file) override {
    return link_->SetPath(file);
  }

  // IPersistFile: loading and saving also carry the recorded values.
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override {
    return persist_->GetClassID(id);
  }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return persist_->IsDirty(); }
  HRESULT STDMETHODCALLTYPE Load(LPCOLESTR file, DWORD mode) override {
    const HRESULT hr = persist_->Load(file, mode);
    if (SUCCEEDED(hr)) {
      auto found = SavedValues().find(file);
      if (found != SavedValues().end())
        CopyValues(found->second, &committed_);
      else
        ClearValues(&committed_);
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Save(LPCOLESTR file, BOOL remember) override {
    const HRESULT hr = persist_->Save(file, remember);
    if (SUCCEEDED(hr) && file)
      CopyValues(committed_, &SavedValues()[file]);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR file) override {
    return persist_->SaveCompleted(file);
  }
  HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* file) override {
    return persist_->GetCurFile(file);
  }

  // IPropertyStore: set values count once committed.
  HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override {
    *count = static_cast<DWORD>(committed_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAt(DWORD, PROPERTYKEY*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key,
                                     PROPVARIANT* value) override {
    ::PropVariantInit(value);
    auto found = committed_.find(key);
    return found == committed_.end() ? S_OK
                                     : ::PropVariantCopy(value, &found->second);
  }
  HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key,
                                     REFPROPVARIANT value) override {
    PROPVARIANT copy;
    const HRESULT hr = ::PropVariantCopy(&copy, &value);
    if (FAILED(hr))
      return hr;
    auto found = pending_.find(key);
    if (found != pending_.end())
      ::PropVariantClear(&found->second);
    pending_[key] = copy;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Commit() override {
    for (auto& entry : pending_) {
      auto found = committed_.find(entry.first);
      if (found != committed_.end())
        ::PropVariantClear(&found->second);
      committed_[entry.first] = entry.second;
    }
    pending_.clear();
    return S_OK;
  }

 private:
  ~RecordingShellLink() {
    ClearValues(&pending_);
    ClearValues(&committed_);
    persist_->Release();
    link_->Release();
  }

  ULONG refs_ = 1;
  IShellLinkW* link_;
  IPersistFile* persist_;
  PropertyMap pending_;
  PropertyMap committed_;
};

class RecordingShellLinkFactory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer,
                                           REFIID iid,
                                           void** object) override {
    *object = nullptr;
    if (outer)
      return CLASS_E_NOAGGREGATION;
    IShellLinkW* link = nullptr;
    HRESULT hr = g_platform_factory->CreateInstance(
        nullptr, IID_IShellLinkW, reinterpret_cast<void**>(&link));
    if (FAILED(hr))
      return hr;
    IPersistFile* persist = nullptr;
    hr = link->QueryInterface(IID_PPV_ARGS(&persist));
    if (FAILED(hr)) {
      link->Release();
      return hr;
    }
    RecordingShellLink* wrapper = new RecordingShellLink(link, persist);
    hr = wrapper->QueryInterface(iid, object);
    wrapper->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

RecordingShellLinkFactory g_factory;

}  // namespace

ScopedRecordingShellLinkClass::ScopedRecordingShellLinkClass() {
  if (FAILED(::CoGetClassObject(CLSID_ShellLink, CLSCTX_INPROC_SERVER, nullptr,
                                IID_PPV_ARGS(&g_platform_factory)))) {
    return;
  }
  if (FAILED(::CoRegisterClassObject(CLSID_ShellLink, &g_factory,
                                     CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                     &cookie_))) {
    cookie_ = 0;
  }
}

ScopedRecordingShellLinkClass::~ScopedRecordingShellLinkClass() {
  if (cookie_)
    ::CoRevokeClassObject(cookie_);
  if (g_platform_factory) {
    g_platform_factory->Release();
    g_platform_factory = nullptr;
  }
  for (auto& entry : SavedValues())
    ClearValues(&entry.second);
  SavedValues().clear();
}

}  // namespace win
}  // namespace base
