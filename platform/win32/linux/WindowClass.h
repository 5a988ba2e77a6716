// Private to win32: what window creation needs from the class registry.
#pragma once

#include <memory>
#include <string>

#include "platform/win32/win32.h"

namespace win32::internal {

struct WindowClass {
  WNDCLASSA wc;
  std::string name;
  ATOM atom = 0;
  int windows = 0;  // live windows of the class; guarded by the registry
};

// The class a new window is made of, counted as in use until ReleaseClass.
std::shared_ptr<WindowClass> AcquireClass(HINSTANCE instance, const char* className);
void ReleaseClass(const std::shared_ptr<WindowClass>& cls);

// A null instance stands for the program's own module.
HINSTANCE NormalInstance(HINSTANCE instance);

}  // namespace win32::internal
