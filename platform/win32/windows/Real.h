// Private to the mapping: the project's handles and records seen as the real
// ones. Layout.cpp checks that each pair has the same size and layout, so
// these casts only rename.
#pragma once

#include "platform/win32/win32.h"

#include <windows.h>

// Outside namespace win32 on purpose: the system's macros name HWND, DWORD,
// ... and inside it those would be ours.
namespace win32_real {

inline ::HWND Hwnd(win32::HWND h) { return reinterpret_cast<::HWND>(h); }
inline win32::HWND Own(::HWND h) { return reinterpret_cast<win32::HWND>(h); }
inline ::HHOOK Hook(win32::HHOOK h) { return reinterpret_cast<::HHOOK>(h); }
inline win32::HHOOK Own(::HHOOK h) { return reinterpret_cast<win32::HHOOK>(h); }
inline ::HWND MessageOnlyParent() { return HWND_MESSAGE; }
inline ::HMODULE Module(win32::HMODULE h) { return static_cast<::HMODULE>(h); }
inline ::HMENU Menu(win32::HMENU h) { return static_cast<::HMENU>(h); }
// A null instance means the program's own module, as the stand-in has it.
inline ::HINSTANCE Instance(win32::HINSTANCE h) {
  return h ? static_cast<::HINSTANCE>(h) : ::GetModuleHandleA(nullptr);
}
inline ::MSG* Msg(win32::MSG* m) { return reinterpret_cast<::MSG*>(m); }
inline const ::MSG* Msg(const win32::MSG* m) { return reinterpret_cast<const ::MSG*>(m); }

// x64 has a single calling convention, so a procedure of ours is the system's
// callback as it stands; only the handle types in its parameters are renamed.
inline ::WNDPROC Proc(win32::WNDPROC p) { return reinterpret_cast<::WNDPROC>(p); }
inline win32::WNDPROC Own(::WNDPROC p) { return reinterpret_cast<win32::WNDPROC>(p); }
inline ::HOOKPROC Proc(win32::HOOKPROC p) { return reinterpret_cast<::HOOKPROC>(p); }

}  // namespace win32_real
