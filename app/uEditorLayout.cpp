#include "app/uEditorLayout.h"

namespace {

// Dark blue of the three panels (low byte red): RGB 0, 64, 128.
constexpr TColor kPanelColor = 8404992;
static_assert(kPanelColor == RGB(0, 64, 128), "panel colour");

// The footer: what the program does, and how to use it.
constexpr const char* kFooter = "UDP \xE2\x86\x92 MIDI relay\nclick a value to change it";

const TFormLayout kForm = {"VORLANX", 213, 158, 185, 156, clBlack};

// clang-format off
// Later rows in the same parent lie on top; Panel3 over Panel1 over Panel2.
const TControlLayout kControls[] = {
  // name     kind         parent    left top  w    h   caption                        font     height colour   background
  {"Panel2",  ckPanel,     nullptr,  0,   120, 185, 36, "",                            nullptr, 0,     clNone,  kPanelColor},
  {"Label4",  ckLabel,     "Panel2", 36,  4,   106, 28, kFooter,                       "Arial", 11,    clWhite, clNone,
   crDefault, false, taCenter},
  {"Panel1",  ckPanel,     nullptr,  0,   32,  185, 89, "",                            nullptr, 0,     clNone,  kPanelColor},
  {"Panel3",  ckPanel,     nullptr,  0,   0,   185, 33, "",                            nullptr, 0,     clNone,  kPanelColor},
  {"title2",  ckLabel,     "Panel3", 44,  5,   90,  24, "VORLANX",                     "Arial", 21,    clGray,  clNone},
  {"title1",  ckLabel,     "Panel3", 42,  4,   90,  24, "VORLANX",                     "Arial", 21,    clWhite, clNone,
   crDefault, true},
  {"port",    ckLabel,     "Panel1", 112, 27,  30,  14, "55555",                       "Arial", 11,    clWhite, clNone,
   crHandPoint, false, taLeftJustify, "portMouseUp"},
  {"Label1",  ckLabel,     "Panel1", 111, 11,  47,  14, "local port:",                 "Arial", 11,    clGray,  clNone},
  {"Label2",  ckLabel,     "Panel1", 12,  11,  87,  14, "receive IP adress:",          "Arial", 11,    clGray,  clNone},
  {"ip",      ckLabel,     "Panel1", 12,  27,  33,  14, "0.0.0.0",                     "Arial", 11,    clWhite, clNone,
   crHandPoint, false, taLeftJustify, "ipMouseUp"},
  {"pop",     ckPopupMenu, nullptr,  0,   0,   0,   0,  nullptr,                       nullptr, 0,     clNone,  clNone},
  {"midiout", ckLabel,     "Panel1", 12,  64,  124, 14, "(no MIDI-Out ports found!)",  "Arial", 11,    clWhite, clNone,
   crHandPoint, false, taLeftJustify, "midioutMouseUp"},
  {"l_port",  ckLabel,     "Panel1", 12,  48,  65,  14, "MIDI-Out port:",              "Arial", 11,    clGray,  clNone,
   crDefault, false, taLeftJustify, "midioutMouseUp"},
};
// clang-format on

}  // namespace

void BuildPluginEditorLayout(TForm* Form, const TLayoutHandlers& Handlers) {
  BuildLayout(Form, kForm, kControls, Handlers);
}
