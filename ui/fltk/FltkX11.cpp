// What FLTK does not say about the window manager: the frame it draws and the
// decorations a window asks for.
// FLTK keeps whether a window waits for its first expose in its X record,
// which it shows only to code that asks for its internals.
#define FL_INTERNALS 1
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <X11/Xatom.h>

#include "ui/fltk/FltkInternal.h"

namespace ui {
namespace fltk {

void FrameExtents(Fl_Window* window, int& left, int& top) {
  left = top = 0;
  if (!window->shown() || !fl_display || DisplayLost()) return;
  Atom extents = XInternAtom(fl_display, "_NET_FRAME_EXTENTS", True);
  if (extents == None) return;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(fl_display, fl_xid(window), extents, 0, 4, False, XA_CARDINAL, &type,
                         &format, &count, &after, &data) == Success &&
      data && type == XA_CARDINAL && format == 32 && count == 4) {
    const long* v = reinterpret_cast<const long*>(data);  // left, right, top, bottom
    left = static_cast<int>(v[0]);
    top = static_cast<int>(v[2]);
  }
  if (data) XFree(data);
}

void SetDialogDecorations(Fl_Window* window) {
  if (!window->shown() || !fl_display || DisplayLost()) return;
  // Motif hints: functions move and close; decorations border, title and menu.
  struct {
    unsigned long flags, functions, decorations;
    long inputMode;
    unsigned long status;
  } hints = {1 | 2, 4 | 32, 2 | 8 | 16, 0, 0};
  Atom atom = XInternAtom(fl_display, "_MOTIF_WM_HINTS", False);
  XChangeProperty(fl_display, fl_xid(window), atom, atom, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&hints), 5);
}

void WaitForExpose(Fl_Window* window) {
  while (window->shown() && !DisplayLost()) {
    Fl_X* x = Fl_X::i(window);
    if (x && !x->wait_for_expose) return;
    Fl::wait();
  }
}

void TakeInputFocus(Fl_Window* window) {
  // Without a window manager nobody else gives a new dialog the keyboard.
  if (!window->shown() || !fl_display || DisplayLost()) return;
  XSetInputFocus(fl_display, fl_xid(window), RevertToParent, CurrentTime);
}

}  // namespace fltk
}  // namespace ui
