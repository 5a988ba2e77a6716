#include "ui/Dialogs.h"

#include "rtl/StderrLine.h"
#include "ui/Backend.h"

bool InputQuery(const std::string& Caption, const std::string& Prompt, std::string& Value) {
  return UiBackend() && UiBackend()->InputQuery(Caption, Prompt, Value);
}

std::string InputBox(const std::string& Caption, const std::string& Prompt,
                     const std::string& Default) {
  std::string value = Default;
  return InputQuery(Caption, Prompt, value) ? value : Default;
}

void ShowErrorBox(const std::string& Title, const std::string& Text) {
  if (UiBackend()) {
    UiBackend()->ErrorBox(Title, Text);
    return;
  }
  WriteStderrLine(Title, Text);
}
