// Keystrokes through the thread's keyboard hooks, as virtual-key codes with the
// usual flags (repeat count 1, bit 30 "was down" and bit 31 "released" on key up).
#include <FL/Fl.H>

#include "platform/win32/win32.h"
#include "ui/fltk/FltkInternal.h"

namespace ui {
namespace fltk {
namespace {

win32::WPARAM VirtualKey(int key) {
  if (key >= 'a' && key <= 'z') return static_cast<win32::WPARAM>(key - 'a' + 'A');
  if ((key >= '0' && key <= '9') || key == ' ') return static_cast<win32::WPARAM>(key);
  if (key >= FL_F + 1 && key <= FL_F + 24) return static_cast<win32::WPARAM>(0x70 + key - FL_F - 1);
  if (key >= FL_KP + '0' && key <= FL_KP + '9')
    return static_cast<win32::WPARAM>(0x60 + key - FL_KP - '0');
  switch (key) {
    case FL_BackSpace:
      return 0x08;
    case FL_Tab:
      return 0x09;
    case FL_Enter:
    case FL_KP_Enter:
      return 0x0D;
    case FL_Shift_L:
    case FL_Shift_R:
      return 0x10;
    case FL_Control_L:
    case FL_Control_R:
      return 0x11;
    case FL_Alt_L:
    case FL_Alt_R:
      return 0x12;
    case FL_Pause:
      return 0x13;
    case FL_Caps_Lock:
      return 0x14;
    case FL_Escape:
      return 0x1B;
    case FL_Page_Up:
      return 0x21;
    case FL_Page_Down:
      return 0x22;
    case FL_End:
      return 0x23;
    case FL_Home:
      return 0x24;
    case FL_Left:
      return 0x25;
    case FL_Up:
      return 0x26;
    case FL_Right:
      return 0x27;
    case FL_Down:
      return 0x28;
    case FL_Insert:
      return 0x2D;
    case FL_Delete:
      return 0x2E;
    case '-':
      return 0xBD;
    case '.':
      return 0xBE;
    case ',':
      return 0xBC;
    default:
      return static_cast<win32::WPARAM>(key & 0xFFFF);
  }
}

}  // namespace

bool KeyPassesHooks(int event) {
  win32::LPARAM flags = 1;
  if (event == FL_KEYUP) flags |= static_cast<win32::LPARAM>(0xC0000000u);
  return win32::CallKeyboardHooks(VirtualKey(Fl::event_key()), flags);
}

}  // namespace fltk
}  // namespace ui
