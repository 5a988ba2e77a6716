// Libraries by name: in-process libraries that platform layers register and
// programs bind at run time with LoadLibraryA/GetProcAddress.
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "platform/win32/ModuleName.h"
#include "platform/win32/linux/LibraryRegistry.h"

namespace win32 {
namespace internal {

namespace {

struct Library {
  std::string fileName;  // as registered
  bool registered = false;
  std::map<std::string, void*> exports;
  int loads = 0;
  DWORD failLoad = 0;               // test injection: LoadLibraryA fails with this code
  std::set<std::string> failProcs;  // test injection: GetProcAddress fails
};

struct LibraryTable {
  std::mutex mu;
  std::map<std::string, std::unique_ptr<Library>> byName;  // key: folded file name
};

LibraryTable& Table() {
  static LibraryTable* table = new LibraryTable;
  return *table;
}

std::string FoldName(const char* fileName) { return internal::FoldModuleName(fileName); }

Library& EntryLocked(LibraryTable& t, const char* fileName) {
  std::unique_ptr<Library>& slot = t.byName[FoldName(fileName)];
  if (!slot) {
    slot = std::make_unique<Library>();
    slot->fileName = fileName;
  }
  return *slot;
}

Library* FindLocked(LibraryTable& t, const char* fileName) {
  auto it = t.byName.find(FoldName(fileName));
  return it == t.byName.end() ? nullptr : it->second.get();
}

Library* FromHandleLocked(LibraryTable& t, HMODULE module) {
  for (auto& entry : t.byName)
    if (entry.second.get() == module) return entry.second.get();
  return nullptr;
}

}  // namespace

HMODULE FindLoadedLibrary(const char* fileName) {
  LibraryTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  Library* lib = FindLocked(t, fileName);
  return lib && lib->loads > 0 ? lib : nullptr;
}

bool LibraryFileName(HMODULE module, std::string* name) {
  LibraryTable& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  Library* lib = FromHandleLocked(t, module);
  if (!lib || lib->loads == 0) return false;
  *name = lib->fileName;
  return true;
}

}  // namespace internal

using internal::Library;

void RegisterLibrary(const char* fileName, const LibraryExport* exports, size_t count) {
  if (!fileName || !*fileName) return;
  internal::LibraryTable& t = internal::Table();
  std::lock_guard<std::mutex> lock(t.mu);
  Library& lib = internal::EntryLocked(t, fileName);
  lib.fileName = fileName;
  lib.registered = true;
  lib.exports.clear();
  for (size_t i = 0; i < count; ++i)
    if (exports[i].name) lib.exports[exports[i].name] = exports[i].proc;
}

HMODULE LoadLibraryA(const char* fileName) {
  if (!fileName || !*fileName) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  internal::LibraryTable& t = internal::Table();
  std::lock_guard<std::mutex> lock(t.mu);
  Library* lib = internal::FindLocked(t, fileName);
  if (lib && lib->failLoad != 0) {
    SetLastError(lib->failLoad);
    return nullptr;
  }
  if (!lib || !lib->registered) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ++lib->loads;
  return lib;
}

void* GetProcAddress(HMODULE module, const char* procName) {
  // Ordinals (small integers in place of a name) are not supported.
  if (!procName || reinterpret_cast<uintptr_t>(procName) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  internal::LibraryTable& t = internal::Table();
  std::lock_guard<std::mutex> lock(t.mu);
  Library* lib = internal::FromHandleLocked(t, module);
  if (!lib) {
    SetLastError(module == GetModuleHandleA(nullptr) ? ERROR_PROC_NOT_FOUND : ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (lib->loads == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto it = lib->exports.find(procName);
  if (it == lib->exports.end() || lib->failProcs.count(procName)) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return it->second;
}

BOOL FreeLibrary(HMODULE module) {
  if (module && module == GetModuleHandleA(nullptr)) return TRUE;
  internal::LibraryTable& t = internal::Table();
  std::lock_guard<std::mutex> lock(t.mu);
  Library* lib = internal::FromHandleLocked(t, module);
  if (!lib || lib->loads == 0) {
    SetLastError(ERROR_MOD_NOT_FOUND);  // the loader's code for a module it does not hold
    return FALSE;
  }
  --lib->loads;
  return TRUE;
}

namespace testing {

void FailLoadLibrary(const char* fileName, DWORD errorCode) {
  internal::LibraryTable& t = internal::Table();
  std::lock_guard<std::mutex> lock(t.mu);
  internal::EntryLocked(t, fileName).failLoad = errorCode;
}

void FailProcAddress(const char* fileName, const char* procName, bool fail) {
  internal::LibraryTable& t = internal::Table();
  std::lock_guard<std::mutex> lock(t.mu);
  Library& lib = internal::EntryLocked(t, fileName);
  if (fail)
    lib.failProcs.insert(procName);
  else
    lib.failProcs.erase(procName);
}

void ResetLibraryFailures() {
  internal::LibraryTable& t = internal::Table();
  std::lock_guard<std::mutex> lock(t.mu);
  for (auto& entry : t.byName) {
    entry.second->failLoad = 0;
    entry.second->failProcs.clear();
  }
}

int LibraryLoadCount(const char* fileName) {
  internal::LibraryTable& t = internal::Table();
  std::lock_guard<std::mutex> lock(t.mu);
  Library* lib = internal::FindLocked(t, fileName);
  return lib ? lib->loads : 0;
}

}  // namespace testing

}  // namespace win32
