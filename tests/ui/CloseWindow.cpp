// Apart from the rest of the support: Xlib's header defines macros (Status,
// Window, ...) that clash with ordinary names.
#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace guitest {

bool CloseWindow(const std::string& DisplayName, const std::string& Id) {
  ::Display* display = XOpenDisplay(DisplayName.c_str());
  if (display == nullptr) return false;
  XEvent e;
  std::memset(&e, 0, sizeof e);
  e.xclient.type = ClientMessage;
  e.xclient.window = std::strtoul(Id.c_str(), nullptr, 10);
  e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  const bool sent = XSendEvent(display, e.xclient.window, False, NoEventMask, &e) != 0;
  XCloseDisplay(display);  // which sends it
  return sent;
}

}  // namespace guitest
