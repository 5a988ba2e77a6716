// The input dialog and the error box, built from plain FLTK widgets: FLTK's
// ready-made message dialogs share one window and return at once when a second
// one is asked for while the first is showing.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <vector>

#include "rtl/Application.h"
#include "ui/fltk/FltkInternal.h"

namespace ui {
namespace fltk {
namespace {

constexpr int kMargin = 10;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr Fl_Fontsize kTextSize = 12;

// Text drawn as it is: no "@" symbols, no "&" underlines, wrapped to the width.
class TPlainText : public Fl_Box {
 public:
  TPlainText(int x, int y, int w, int h, const std::string& text)
      : Fl_Box(x, y, w, h), FText(text) {}
  void draw() override {
    fl_font(FL_HELVETICA, kTextSize);
    fl_color(FL_FOREGROUND_COLOR);
    fl_draw(FText.c_str(), x(), y(), w(), h(),
            FL_ALIGN_TOP | FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP, nullptr, 0);
  }
  // The height the text needs at a width.
  static int HeightAt(const std::string& text, int width) {
    fl_font(FL_HELVETICA, kTextSize);
    int w = width, h = 0;
    fl_measure(text.c_str(), w, h, 0);
    return std::max(h, fl_height());
  }
  static int WidthOf(const std::string& text) {
    fl_font(FL_HELVETICA, kTextSize);
    int w = 0, h = 0;
    fl_measure(text.c_str(), w, h, 0);
    return w;
  }

 private:
  std::string FText;
};

// The error icon: a red disc with a white cross.
class TErrorIcon : public Fl_Box {
 public:
  TErrorIcon(int x, int y) : Fl_Box(x, y, 32, 32) {}
  void draw() override {
    fl_color(fl_rgb_color(204, 0, 0));
    fl_pie(x(), y(), w(), h(), 0, 360);
    fl_color(FL_WHITE);
    fl_line_style(FL_SOLID, 3);
    fl_line(x() + 10, y() + 10, x() + 22, y() + 22);
    fl_line(x() + 22, y() + 10, x() + 10, y() + 22);
    fl_line_style(0);
  }
};

// FLTK breaks lines at LF only and draws a CR as "^M": a CR LF (or a lone CR)
// in a message is a line break.
std::string WithLineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
    } else {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
  }
  return out;
}

void HideWindow(Fl_Widget* w, void*) {
  Fl_Window* win = w->window() ? w->window() : w->as_window();
  if (win) win->hide();
}

struct TQueryState {
  Fl_Window* window;
  bool ok;
};

void OnOk(Fl_Widget*, void* data) {
  auto* s = static_cast<TQueryState*>(data);
  s->ok = true;
  s->window->hide();
}

}  // namespace

void PlaceDialog(Fl_Window* window) {
  int sx = 0, sy = 0, sw = 0, sh = 0;
  Fl::screen_xywh(sx, sy, sw, sh, 0);
  window->position(sx + (sw - window->w()) / 2, sy + (sh - window->h()) / 2);
  window->size_range(window->w(), window->h(), window->w(), window->h());
}

void RunModal(Fl_Window* window) {
  // A dialog opened while the program is already ending (an error while
  // saving) still waits for the user; one open when the end is asked for closes.
  bool endingAlready = Application->Terminated();
  // A dialog this one opens over gets the keyboard back afterwards.
  static std::vector<Fl_Window*> open;
  Fl_Window* below = open.empty() ? nullptr : open.back();
  Fl_Widget_Tracker focused(Fl::focus());
  open.push_back(window);
  window->set_modal();
  window->show();
  SetDialogDecorations(window);
  WaitForExpose(window);
  TakeInputFocus(window);
  while (window->shown() && !DisplayLost() && (endingAlready || !Application->Terminated()))
    Fl::wait(1e20);
  window->hide();
  open.erase(std::find(open.begin(), open.end(), window));
  if (below && below->shown()) {
    TakeInputFocus(below);
    if (focused.exists() && focused.widget()->window() == below) focused.widget()->take_focus();
  }
}

bool InputQuery(const std::string& caption, const std::string& promptText, std::string& value) {
  constexpr int width = 300;
  const std::string prompt = WithLineBreaks(promptText);
  int promptHeight = TPlainText::HeightAt(prompt, width - 2 * kMargin);
  int inputTop = kMargin + promptHeight + 6;
  int buttonTop = inputTop + 24 + 12;
  int height = buttonTop + kButtonHeight + kMargin;

  Fl_Group::current(nullptr);
  Fl_Double_Window window(width, height);
  window.copy_label(caption.c_str());
  TQueryState state{&window, false};
  new TPlainText(kMargin, kMargin, width - 2 * kMargin, promptHeight, prompt);
  auto* input = new Fl_Input(kMargin, inputTop, width - 2 * kMargin, 24);
  input->maximum_size(255);
  input->value(value.c_str());
  input->position(input->size(), 0);  // all selected, the caret at the end
  auto* ok = new Fl_Return_Button(width - 2 * (kButtonWidth + kMargin), buttonTop, kButtonWidth,
                                  kButtonHeight, "OK");
  ok->callback(OnOk, &state);
  auto* cancel = new Fl_Button(width - kButtonWidth - kMargin, buttonTop, kButtonWidth,
                               kButtonHeight, "Cancel");
  cancel->shortcut(FL_Escape);
  cancel->callback(HideWindow);
  window.end();
  window.callback(HideWindow);  // the close button and Esc cancel
  PlaceDialog(&window);
  input->take_focus();
  RunModal(&window);
  if (state.ok) value = input->value();
  return state.ok;
}

void ErrorBox(const std::string& title, const std::string& message) {
  constexpr int iconSize = 32, maxTextWidth = 420;
  const std::string text = WithLineBreaks(message);
  int textLeft = kMargin + iconSize + 14;
  int textWidth = std::min(std::max(TPlainText::WidthOf(text), 120), maxTextWidth);
  int textHeight = std::max(TPlainText::HeightAt(text, textWidth), iconSize);
  int width = textLeft + textWidth + 2 * kMargin;
  int buttonTop = kMargin + textHeight + 14;
  int height = buttonTop + kButtonHeight + kMargin;

  Fl_Group::current(nullptr);
  Fl_Double_Window window(width, height);
  window.copy_label(title.c_str());
  new TErrorIcon(kMargin + 4, kMargin);
  new TPlainText(textLeft, kMargin + (textHeight > iconSize ? 0 : (iconSize - fl_height()) / 2),
                 textWidth, textHeight, text);
  auto* ok = new Fl_Return_Button((width - kButtonWidth) / 2, buttonTop, kButtonWidth,
                                  kButtonHeight, "OK");
  ok->shortcut(FL_Escape);
  ok->callback(HideWindow);
  window.end();
  window.callback(HideWindow);
  PlaceDialog(&window);
  ok->take_focus();
  RunModal(&window);
}

}  // namespace fltk
}  // namespace ui
