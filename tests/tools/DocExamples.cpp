#include "DocExamples.h"

#include <fstream>
#include <regex>
#include <sstream>

namespace docs {

namespace {

const char* const kPrograms[] = {"vxcat", "build/vxcat", "vxmidi", "build/vxmidi"};

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// A command line runs one of our programs: first in the line, or after a pipe.
bool RunsOurs(const std::string& Line) {
  std::stringstream segments(Line);
  std::string segment;
  while (std::getline(segments, segment, '|')) {
    std::string word = Trim(segment);
    word = word.substr(0, word.find(' '));
    for (const char* p : kPrograms)
      if (word == p) return true;
  }
  return false;
}

std::string KeyOf(const std::string& Text) {
  std::string key = Text;
  size_t comment = key.find(" #");
  if (comment != std::string::npos) key.resize(comment);
  key = std::regex_replace(Trim(key), std::regex(" +"), " ");
  key = std::regex_replace(key, std::regex("(^|[| ])build/(vx)"), "$1$2");
  return key;
}

// Lines of a block: commands (with a "$ " prompt or without) and, under
// each, the lines it shows as its output.
void TakeBlockLine(std::vector<TExample>& Examples, const std::string& Where, std::string Line,
                   bool& AfterCommand) {
  if (Line.compare(0, 2, "$ ") == 0) Line = Line.substr(2);
  if (RunsOurs(Line)) {
    Examples.push_back({Where, Line, KeyOf(Line), {}});
    AfterCommand = true;
  } else if (AfterCommand && !Trim(Line).empty()) {
    Examples.back().Output.push_back(Line);
  } else {
    AfterCommand = false;
  }
}

}  // namespace

std::string ReadFile(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::vector<TExample> ReadmeExamples(const std::string& Path) {
  std::vector<TExample> examples;
  std::istringstream in(ReadFile(Path));
  std::string line;
  bool blank = true, inBlock = false, afterCommand = false;
  for (int n = 1; std::getline(in, line); ++n) {
    // An indented code block begins after a blank line.
    inBlock = line.compare(0, 4, "    ") == 0 && (inBlock || blank);
    blank = Trim(line).empty();
    if (!inBlock) {
      afterCommand = false;
      continue;
    }
    TakeBlockLine(examples, Path.substr(Path.rfind('/') + 1) + ":" + std::to_string(n),
                  line.substr(4), afterCommand);
  }
  return examples;
}

std::vector<TExample> ManExamples(const std::string& Path) {
  std::vector<TExample> examples;
  std::istringstream in(ReadFile(Path));
  std::string line;
  bool inExamples = false, inBlock = false, afterCommand = false;
  for (int n = 1; std::getline(in, line); ++n) {
    if (line.compare(0, 4, ".SH ") == 0) inExamples = line == ".SH EXAMPLES";
    if (line == ".nf" || line == ".fi") {
      inBlock = line == ".nf";
      afterCommand = false;
      continue;
    }
    if (!inExamples || !inBlock) continue;
    // The escapes these pages use: \- is a minus, \e a backslash.
    line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
    line = std::regex_replace(line, std::regex(R"(\\e)"), "\\");
    TakeBlockLine(examples, Path.substr(Path.rfind('/') + 1) + ":" + std::to_string(n), line,
                  afterCommand);
  }
  return examples;
}

std::string AdaptPorts(const std::string& Text, const std::map<std::string, uint16_t>& Ports) {
  // Each port where it stands: after the relay's address, alone as the last
  // argument of a server, after a proxy's colon, after the target's name.
  static const std::map<std::string, std::string> kPlaces = {
      {"55555", R"((127\.0\.0\.1 )55555\b)"},
      {"7000", R"(( )7000\b)"},
      {"1080", R"((:)1080\b)"},
      {"80", R"((example\.org )80\b)"},
  };
  std::string text = Text;
  for (const auto& p : Ports) {
    std::string out;
    std::smatch m;
    const std::regex place(kPlaces.at(p.first));
    while (std::regex_search(text, m, place)) {
      out += m.prefix().str() + m[1].str() + std::to_string(p.second);
      text = m.suffix().str();
    }
    text = out + text;
  }
  return text;
}

}  // namespace docs
