// The modal input dialog and the error box.
#pragma once

#include <string>

// Shows a modal dialog with a prompt above a one-line edit field (at most 255
// characters) holding Default, all selected. Returns the edited text on OK and
// Default on Cancel, Esc or the close button. Without a window it returns Default.
std::string InputBox(const std::string& Caption, const std::string& Prompt,
                     const std::string& Default);
// As InputBox, and tells whether OK was chosen.
bool InputQuery(const std::string& Caption, const std::string& Prompt, std::string& Value);

// Shows an error box (error icon, OK button) and waits until it is closed.
// Without a window, writes "Title: Text" as one line to standard error.
void ShowErrorBox(const std::string& Title, const std::string& Text);
