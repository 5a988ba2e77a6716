// Messages for a program without a window, or for a service manager's log: one
// line each on standard error, "<title>: <message>".
#pragma once

#include <string>

// The message as one line: a line break inside it (CR LF, or a lone CR or LF)
// becomes ": " ("." and the like already end a sentence: then a blank), and
// breaks at either end are dropped.
std::string OneLine(const std::string& Message);

// Writes "<Title>: <OneLine(Message)>\n" with a single write, so that lines
// written from several threads (JACK's among them) never interleave.
void WriteStderrLine(const std::string& Title, const std::string& Message);
// The same, titled with the application's title.
void WriteStderrLine(const std::string& Message);
