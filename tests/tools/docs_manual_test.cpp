// The manuals against the programs: every option a program's --help lists is
// in its man page and the other way round, and every settings key the relay
// writes is described in vorlanx.1 and shown in the README's settings file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <regex>
#include <set>
#include <sstream>

#include "DocExamples.h"
#include "DocsFixture.h"
#include "tests/support/Loopback.h"
#include "tests/support/Process.h"

namespace docs {

namespace {

std::set<std::string> LongOptions(const std::string& Text, const std::regex& Line) {
  std::set<std::string> options;
  std::istringstream in(Text);
  std::string line;
  const std::regex option("--([a-z][a-z-]*)");
  while (std::getline(in, line)) {
    if (!std::regex_search(line, Line)) continue;
    std::smatch m;
    if (std::regex_search(line, m, option)) options.insert(m[1]);
  }
  return options;
}

// The options --help lists: its lines that begin with one.
std::set<std::string> HelpOptions(const std::string& Program) {
  support::TProcess p;
  support::TLaunch launch;
  launch.Argv = {std::string(DOCS_BUILD_DIR) + "/" + Program, "--help"};
  launch.Stdout = support::TLaunch::kPipe;
  EXPECT_TRUE(p.Start(launch));
  std::string text;
  char buf[4096];
  long n;
  while ((n = ::read(p.Out(), buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  EXPECT_EQ(p.Wait(10000), 0);
  return LongOptions(text, std::regex("^  (-[a-z], )?--|^      --"));
}

// The options the man page describes: the tags of its OPTIONS section.
std::set<std::string> ManOptions(const std::string& Program) {
  std::string page = ReadFile(std::string(DOCS_SOURCE_DIR "/share/man/man1/") + Program + ".1");
  size_t from = page.find(".SH OPTIONS"), to = page.find(".SH", from + 1);
  std::string options = page.substr(from, to - from);
  options = std::regex_replace(options, std::regex(R"(\\-)"), "-");
  // A tag is the line after .TP.
  options = std::regex_replace(options, std::regex("\\.TP\n"), ".TP ");
  return LongOptions(options, std::regex("^\\.TP "));
}

TEST(Manuals, EveryOptionOfHelpIsInTheManPage) {
  for (const char* program : {"vxcat", "vxmidi"}) {
    SCOPED_TRACE(program);
    std::set<std::string> help = HelpOptions(program);
    EXPECT_GE(help.size(), 3u);
    EXPECT_EQ(ManOptions(program), help);
  }
}

class RelaySettings : public TDocsTest {};

TEST_F(RelaySettings, EveryKeyTheRelayWritesIsDescribed) {
  ASSERT_TRUE(StartRelay(loopback::FreeUdpPort())) << Read("relay/err");
  std::string written = StopRelay();
  const std::string page = ReadFile(DOCS_SOURCE_DIR "/share/man/man1/vorlanx.1");
  const std::string readme = ReadFile(DOCS_SOURCE_DIR "/README.md");
  std::istringstream lines(written);
  std::string line;
  size_t keys = 0;
  while (std::getline(lines, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    ++keys;
    EXPECT_NE(page.find("\\fB" + key + "\\fR"), std::string::npos) << key << " not in vorlanx.1";
    EXPECT_NE(readme.find("\n    " + key + "="), std::string::npos) << key << " not in the README";
  }
  EXPECT_GE(keys, 8u) << written;
}

}  // namespace

}  // namespace docs
