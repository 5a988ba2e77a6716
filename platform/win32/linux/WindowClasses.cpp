// Window classes, registered per module instance; names compare without case.
#include <cctype>
#include <map>
#include <mutex>
#include <utility>

#include "platform/win32/linux/WindowClass.h"

namespace win32 {
namespace internal {

namespace {

using ClassKey = std::pair<HINSTANCE, std::string>;

struct ClassRegistry {
  std::mutex mu;
  std::map<ClassKey, std::shared_ptr<WindowClass>> classes;
  ATOM nextAtom = 0xC000;
};

ClassRegistry& Registry() {
  static ClassRegistry* registry = new ClassRegistry;
  return *registry;
}

ClassKey KeyOf(HINSTANCE instance, const char* name) {
  std::string folded(name);
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return {NormalInstance(instance), folded};
}

}  // namespace

HINSTANCE NormalInstance(HINSTANCE instance) {
  return instance ? instance : GetModuleHandleA(nullptr);
}

std::shared_ptr<WindowClass> AcquireClass(HINSTANCE instance, const char* className) {
  if (!className) return nullptr;
  ClassRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.mu);
  auto it = r.classes.find(KeyOf(instance, className));
  if (it == r.classes.end()) return nullptr;
  ++it->second->windows;
  return it->second;
}

void ReleaseClass(const std::shared_ptr<WindowClass>& cls) {
  ClassRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.mu);
  --cls->windows;
}

}  // namespace internal

using internal::WindowClass;

ATOM RegisterClassA(const WNDCLASSA* wc) {
  if (!wc || !wc->lpszClassName || !*wc->lpszClassName || !wc->lpfnWndProc || wc->cbWndExtra < 0 ||
      wc->cbClsExtra < 0 || wc->cbWndExtra > 4096) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  internal::ClassRegistry& r = internal::Registry();
  std::lock_guard<std::mutex> lock(r.mu);
  auto key = internal::KeyOf(wc->hInstance, wc->lpszClassName);
  if (r.classes.count(key)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  auto cls = std::make_shared<WindowClass>();
  cls->wc = *wc;
  cls->wc.hInstance = internal::NormalInstance(wc->hInstance);
  cls->name = wc->lpszClassName;
  cls->wc.lpszClassName = cls->name.c_str();
  cls->wc.lpszMenuName = nullptr;
  cls->atom = r.nextAtom++;
  if (r.nextAtom == 0) r.nextAtom = 0xC000;
  r.classes.emplace(std::move(key), cls);
  return cls->atom;
}

namespace {

// The registered class of that name, or end() with the error set.
auto FindClassLocked(internal::ClassRegistry& r, HINSTANCE hInstance, const char* className) {
  auto it = r.classes.find(internal::KeyOf(hInstance, className));
  if (it == r.classes.end()) SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
  return it;
}

}  // namespace

BOOL GetClassInfoA(HINSTANCE hInstance, const char* className, WNDCLASSA* wc) {
  if (!className || !wc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  internal::ClassRegistry& r = internal::Registry();
  std::lock_guard<std::mutex> lock(r.mu);
  auto it = FindClassLocked(r, hInstance, className);
  if (it == r.classes.end()) return FALSE;
  *wc = it->second->wc;
  // The registry's copy of the name goes away with the class; hand back the caller's.
  wc->lpszClassName = className;
  return TRUE;
}

BOOL UnregisterClassA(const char* className, HINSTANCE hInstance) {
  if (!className) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  internal::ClassRegistry& r = internal::Registry();
  std::lock_guard<std::mutex> lock(r.mu);
  auto it = FindClassLocked(r, hInstance, className);
  if (it == r.classes.end()) return FALSE;
  if (it->second->windows > 0) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  r.classes.erase(it);
  return TRUE;
}

}  // namespace win32
