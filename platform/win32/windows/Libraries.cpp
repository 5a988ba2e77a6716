// Libraries by name: the system loader, with the tests' failure injection in
// front of it (cheap: one look at a table that is empty outside tests).
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "platform/win32/ModuleName.h"
#include "platform/win32/windows/Real.h"

namespace win32 {
namespace {

struct Injection {
  std::mutex mu;
  std::map<std::string, ::DWORD> failLoad;                 // folded name -> error code
  std::set<std::pair<std::string, std::string>> failProc;  // folded name, procedure
  std::map<::HMODULE, int> loads;                          // ours minus our frees
};

Injection& Table() {
  static Injection* table = new Injection;
  return *table;
}

std::string FoldName(const char* fileName) { return internal::FoldModuleName(fileName); }

std::string FoldedNameOf(::HMODULE module) {
  char path[MAX_PATH];
  const ::DWORD n = ::GetModuleFileNameA(module, path, sizeof path);
  return n == 0 || n >= sizeof path ? std::string() : FoldName(path);
}

}  // namespace

HMODULE LoadLibraryA(const char* fileName) {
  if (fileName) {
    Injection& t = Table();
    std::lock_guard<std::mutex> lock(t.mu);
    auto it = t.failLoad.find(FoldName(fileName));
    if (it != t.failLoad.end()) {
      ::SetLastError(it->second);
      return nullptr;
    }
  }
  ::HMODULE module = ::LoadLibraryA(fileName);
  if (module) {
    Injection& t = Table();
    std::lock_guard<std::mutex> lock(t.mu);
    ++t.loads[module];
  }
  return module;
}

void* GetProcAddress(HMODULE module, const char* procName) {
  const bool byName = reinterpret_cast<uintptr_t>(procName) >= 0x10000;
  if (byName) {
    Injection& t = Table();
    std::unique_lock<std::mutex> lock(t.mu);
    if (!t.failProc.empty()) {
      lock.unlock();
      const std::string name = FoldedNameOf(win32_real::Module(module));
      lock.lock();
      if (t.failProc.count({name, procName})) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
      }
    }
  }
  return reinterpret_cast<void*>(::GetProcAddress(win32_real::Module(module), procName));
}

BOOL FreeLibrary(HMODULE module) {
  const BOOL freed = ::FreeLibrary(win32_real::Module(module));
  if (freed) {
    Injection& t = Table();
    std::lock_guard<std::mutex> lock(t.mu);
    auto it = t.loads.find(win32_real::Module(module));
    if (it != t.loads.end() && --it->second == 0) t.loads.erase(it);
  }
  return freed;
}

// Windows loads real DLLs only; in-process libraries are the stand-in's.
void RegisterLibrary(const char*, const LibraryExport*, size_t) {}

namespace testing {

void FailLoadLibrary(const char* fileName, DWORD errorCode) {
  Injection& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  if (errorCode)
    t.failLoad[FoldName(fileName)] = errorCode;
  else
    t.failLoad.erase(FoldName(fileName));
}

void FailProcAddress(const char* fileName, const char* procName, bool fail) {
  Injection& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  if (fail)
    t.failProc.insert({FoldName(fileName), procName});
  else
    t.failProc.erase({FoldName(fileName), procName});
}

void ResetLibraryFailures() {
  Injection& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  t.failLoad.clear();
  t.failProc.clear();
}

int LibraryLoadCount(const char* fileName) {
  ::HMODULE module = ::GetModuleHandleA(fileName);
  if (!module) return 0;
  Injection& t = Table();
  std::lock_guard<std::mutex> lock(t.mu);
  auto it = t.loads.find(module);
  return it == t.loads.end() ? 0 : it->second;
}

}  // namespace testing

}  // namespace win32
