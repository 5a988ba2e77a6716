// The SOCKS negotiation's time limit: a message posted to a socket's hidden
// window once a delay has passed. Private to the socket unit.
#pragma once

#include <cstdint>

#include "platform/win32/win32.h"

// Posts Msg (wParam Serial) to Window after DelayMs. One worker thread serves
// every request of the process, sleeping until the next one is due; the post
// is its only contact with the socket (PostMessageA is safe from any thread).
// A request is never withdrawn: the receiver ignores a serial that is no
// longer its own.
void WSocketPostAfter(win32::HWND Window, win32::UINT Msg, uint32_t Serial, int32_t DelayMs);

// A number no earlier negotiation of this process has had.
uint32_t WSocketNextSerial();
