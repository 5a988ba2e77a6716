// Compile-time proof that the project's records, callbacks and constants are
// the real ones, so the mapping can pass them to the system as they are.
#include <cstddef>
#include <type_traits>

#include "platform/win32/win32.h"

// Every constant the upper layers use. Ours are taken before <windows.h>
// turns these names into macros; afterwards the same names are the real ones.
#define VORLANX_WIN32_CONSTANTS(X)                                                          \
  X(TRUE) X(FALSE) X(WM_NULL) X(WM_CREATE) X(WM_DESTROY) X(WM_NCCREATE) X(WM_NCDESTROY) X(WM_CLOSE) X(WM_QUIT) X(WM_TIMER) X(WM_USER)   \
  X(WS_POPUP) X(WS_EX_TOOLWINDOW) X(PM_NOREMOVE) X(PM_REMOVE) X(USER_TIMER_MINIMUM)         \
  X(WH_KEYBOARD) X(ERROR_SUCCESS) X(ERROR_FILE_NOT_FOUND) X(ERROR_PATH_NOT_FOUND) X(ERROR_ACCESS_DENIED)            \
  X(ERROR_INVALID_HANDLE) X(ERROR_NOT_ENOUGH_MEMORY) X(ERROR_NOT_SUPPORTED)                 \
  X(ERROR_INVALID_PARAMETER) X(ERROR_INSUFFICIENT_BUFFER) X(ERROR_MOD_NOT_FOUND)            \
  X(ERROR_PROC_NOT_FOUND) X(ERROR_CLASS_ALREADY_EXISTS) X(ERROR_CLASS_DOES_NOT_EXIST)       \
  X(ERROR_CLASS_HAS_WINDOWS) X(ERROR_INVALID_WINDOW_HANDLE) X(ERROR_CANNOT_FIND_WND_CLASS)  \
  X(ERROR_INVALID_INDEX) X(ERROR_INVALID_THREAD_ID) X(ERROR_INVALID_HOOK_HANDLE)        \
  X(ERROR_INVALID_FILTER_PROC) X(ERROR_HOOK_NEEDS_HMOD)

namespace own {
#define VORLANX_OWN(name) constexpr auto name##_ = win32::name;
VORLANX_WIN32_CONSTANTS(VORLANX_OWN)
#undef VORLANX_OWN
}  // namespace own

#include <windows.h>

#define VORLANX_SAME(name) \
  static_assert(own::name##_ == name, #name " differs from the system's value");
VORLANX_WIN32_CONSTANTS(VORLANX_SAME)
#undef VORLANX_SAME

namespace {

// Passed and returned the same way: same size, both pointers or neither, same
// signedness (DWORD is unsigned long there and uint32_t here: same bits).
template <typename A, typename B>
constexpr bool SameScalar() {
  if constexpr (std::is_void_v<A> || std::is_void_v<B>)
    return std::is_void_v<A> && std::is_void_v<B>;
  else
    return sizeof(A) == sizeof(B) && std::is_pointer_v<A> == std::is_pointer_v<B> &&
           std::is_signed_v<A> == std::is_signed_v<B>;
}

template <typename F, typename G>
struct SameCall : std::false_type {};
template <typename R1, typename... A1, typename R2, typename... A2>
struct SameCall<R1 (*)(A1...), R2 (*)(A2...)>
    : std::bool_constant<sizeof...(A1) == sizeof...(A2) && SameScalar<R1, R2>() &&
                         (SameScalar<A1, A2>() && ...)> {};

}  // namespace

// One calling convention on x64: __stdcall is ignored there, so a function of
// ours with the same parameters is the system's callback.
static_assert(sizeof(void*) == 8, "the mapping is for 64-bit Windows");
static_assert(SameCall<win32::WNDPROC, ::WNDPROC>::value, "WNDPROC");
static_assert(SameCall<win32::HOOKPROC, ::HOOKPROC>::value, "HOOKPROC");
static_assert(SameCall<win32::TIMERPROC, ::TIMERPROC>::value, "TIMERPROC");

static_assert(SameScalar<win32::BOOL, ::BOOL>() && SameScalar<win32::UINT, ::UINT>() &&
              SameScalar<win32::DWORD, ::DWORD>() && SameScalar<win32::WORD, ::WORD>() &&
              SameScalar<win32::ATOM, ::ATOM>() && SameScalar<win32::LONG, ::LONG>() &&
              SameScalar<win32::LONG_PTR, ::LONG_PTR>() &&
              SameScalar<win32::UINT_PTR, ::UINT_PTR>() && SameScalar<win32::WPARAM, ::WPARAM>() &&
              SameScalar<win32::LPARAM, ::LPARAM>() && SameScalar<win32::LRESULT, ::LRESULT>() &&
              SameScalar<win32::HWND, ::HWND>() && SameScalar<win32::HINSTANCE, ::HINSTANCE>() &&
              SameScalar<win32::HMODULE, ::HMODULE>() && SameScalar<win32::HMENU, ::HMENU>() &&
              SameScalar<win32::HHOOK, ::HHOOK>(),
              "a basic type differs from the system's");

#define VORLANX_FIELD(record, field)                                                  \
  static_assert(offsetof(win32::record, field) == offsetof(::record, field) &&        \
                    sizeof(win32::record::field) == sizeof(::record::field),          \
                #record "." #field " differs from the system's");

static_assert(sizeof(win32::POINT) == sizeof(::POINT), "POINT");
VORLANX_FIELD(POINT, x)
VORLANX_FIELD(POINT, y)

static_assert(sizeof(win32::MSG) == sizeof(::MSG), "MSG");
VORLANX_FIELD(MSG, hwnd)
VORLANX_FIELD(MSG, message)
VORLANX_FIELD(MSG, wParam)
VORLANX_FIELD(MSG, lParam)
VORLANX_FIELD(MSG, time)
VORLANX_FIELD(MSG, pt)

static_assert(sizeof(win32::WNDCLASSA) == sizeof(::WNDCLASSA), "WNDCLASSA");
VORLANX_FIELD(WNDCLASSA, style)
VORLANX_FIELD(WNDCLASSA, lpfnWndProc)
VORLANX_FIELD(WNDCLASSA, cbClsExtra)
VORLANX_FIELD(WNDCLASSA, cbWndExtra)
VORLANX_FIELD(WNDCLASSA, hInstance)
VORLANX_FIELD(WNDCLASSA, hIcon)
VORLANX_FIELD(WNDCLASSA, hCursor)
VORLANX_FIELD(WNDCLASSA, hbrBackground)
VORLANX_FIELD(WNDCLASSA, lpszMenuName)
VORLANX_FIELD(WNDCLASSA, lpszClassName)

#undef VORLANX_FIELD
