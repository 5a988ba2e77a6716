#include "rtl/StderrLine.h"

#include <unistd.h>

#include <cerrno>

#include "rtl/Application.h"

std::string OneLine(const std::string& Message) {
  std::string line;
  line.reserve(Message.size());
  bool pendingBreak = false;
  for (char c : Message) {
    if (c == '\r' || c == '\n') {
      pendingBreak = !line.empty();
      continue;
    }
    if (pendingBreak) {
      const char last = line.back();
      line += (last == '.' || last == ':' || last == ';' || last == '!' || last == '?' ||
               last == ',' || last == ' ')
                  ? " "
                  : ": ";
      pendingBreak = false;
    }
    line += c;
  }
  return line;
}

void WriteStderrLine(const std::string& Title, const std::string& Message) {
  const std::string line = Title + ": " + OneLine(Message) + "\n";
  size_t done = 0;
  while (done < line.size()) {
    ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nowhere to say it
    done += static_cast<size_t>(n);
  }
}

void WriteStderrLine(const std::string& Message) {
  WriteStderrLine(Application ? Application->Title() : std::string(), Message);
}
