#include "base/path_service.h"

#include <unordered_map>

#include "base/base_paths.h"
#include "base/files/file_util.h"
#include "base/lazy_instance.h"
#include "base/logging.h"
#include "base/synchronization/lock.h"

namespace base {

namespace {

typedef bool (*ProviderFunc)(int key, FilePath* result);

// One link of the chain of providers asked in turn.
struct Provider {
  ProviderFunc func;
  Provider* next;
  bool is_static;
};

Provider g_base_provider = {PathProvider, nullptr, true};
Provider g_base_provider_win = {PathProviderWin, &g_base_provider, true};

typedef std::unordered_map<int, FilePath> PathMap;

struct PathData {
  Lock lock;
  PathMap cache;      // Answers found so far.
  PathMap overrides;  // Fixed answers; they live until the process ends.
  Provider* providers = &g_base_provider_win;
};

LazyInstance<PathData> g_path_data;

PathData* GetPathData() {
  return g_path_data.Pointer();
}

// Under the lock.
bool LockedGetFromMap(const PathMap& map, int key, FilePath* result) {
  const auto it = map.find(key);
  if (it == map.end())
    return false;
  *result = it->second;
  return true;
}

}  // namespace

// static
bool PathService::Get(int key, FilePath* result) {
  CHECK(result);
  // The current directory changes under us: never cached.
  if (key == DIR_CURRENT)
    return GetCurrentDirectory(result);

  PathData* path_data = GetPathData();
  Provider* provider;
  {
    AutoLock scoped_lock(path_data->lock);
    if (LockedGetFromMap(path_data->cache, key, result))
      return true;
    FilePath overridden;
    if (LockedGetFromMap(path_data->overrides, key, &overridden)) {
      path_data->cache[key] = overridden;
      *result = overridden;
      return true;
    }
    provider = path_data->providers;
  }

  // Providers may ask for other keys, so the lock is not held here.
  FilePath path;
  for (; provider; provider = provider->next) {
    path = FilePath();
    if (provider->func(key, &path))
      break;
  }
  if (path.empty())
    return false;
  if (path.ReferencesParent()) {
    path = MakeAbsoluteFilePath(path);
    if (path.empty())
      return false;
  }

  *result = path;
  AutoLock scoped_lock(path_data->lock);
  path_data->cache[key] = path;
  return true;
}

// static
bool PathService::OverrideAndCreateIfNeeded(int key,
                                            const FilePath& path,
                                            bool is_absolute,
                                            bool create) {
  // An empty answer would read as "found" with nothing in it.
  if (path.empty())
    return false;
  PathData* path_data = GetPathData();

  FilePath file_path = path;
  if (create && !PathExists(file_path) &&
      !CreateDirectoryAndGetError(file_path, nullptr)) {
    return false;
  }
  if (!is_absolute) {
    file_path = MakeAbsoluteFilePath(file_path);
    if (file_path.empty())
      return false;
  }

  AutoLock scoped_lock(path_data->lock);
  // Cached answers may have been built from the old value of this key.
  path_data->cache.clear();
  path_data->overrides[key] = file_path;
  return true;
}

}  // namespace base
