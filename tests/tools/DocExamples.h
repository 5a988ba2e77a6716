// The command examples of the README and the man pages, read from the files as
// a user reads them: each line in a code block (README) or an example block
// (man page) that runs vxcat or vxmidi, with the output lines shown under it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace docs {

struct TExample {
  std::string Where;                // "README.md:123"
  std::string Text;                 // the command as written (man: with the escapes read)
  std::string Key;                  // without its comment and the build/ prefix, blanks collapsed
  std::vector<std::string> Output;  // the lines shown as its output
};

std::vector<TExample> ReadmeExamples(const std::string& Path);
std::vector<TExample> ManExamples(const std::string& Path);

// The text with the documents' ports (55555, 7000, 1080, 80 in their places)
// replaced by the ones a test has.
std::string AdaptPorts(const std::string& Text, const std::map<std::string, uint16_t>& Ports);

std::string ReadFile(const std::string& Path);

}  // namespace docs
