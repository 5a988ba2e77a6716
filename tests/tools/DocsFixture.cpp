#include "DocsFixture.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "DocExamples.h"
#include "tests/support/PrivateResolver.h"

namespace docs {

namespace fs = std::filesystem;

void TDocsTest::SetUp() {
  ScratchDirTest::SetUp();
  VORLANX_REQUIRE_PRIVATE_SHM();
  if (!testresolver::PrivateResolverReady())
    GTEST_SKIP() << "no private hosts file: " << testresolver::PrivateResolverError();
  std::string error;
  ASSERT_TRUE(FServer.Start(256, 48000, &error)) << error;
  // In this order they are outputs 0 and 1, as the README shows them.
  ASSERT_TRUE(FSynth.Open("synth", {"in"}, &error)) << error;
  ASSERT_TRUE(FDrum.Open("drum", {kLongPort}, &error)) << error;
  fs::create_symlink(DOCS_BUILD_DIR, Path("build"));
}

void TDocsTest::TearDown() {
  FStarted.Stop(1000);
  FRelay.Stop(1000);
  FDrum.Close();
  FSynth.Close();
  ScratchDirTest::TearDown();
}

support::TLaunch TDocsTest::Launch(const std::string& Shell, const std::string& Command) const {
  support::TLaunch launch;
  launch.Argv = {Shell, "-c", Command};
  launch.Dir = dir_;
  const char* path = std::getenv("PATH");
  launch.Env = {std::string("PATH=") + DOCS_BUILD_DIR + ":" + (path ? path : "/usr/bin:/bin")};
  launch.Stdout = Path("out");
  launch.Stderr = Path("err");
  return launch;
}

int TDocsTest::Run(const std::string& Shell, const std::string& Command) {
  support::TProcess p;
  std::string error;
  if (!p.Start(Launch(Shell, Command), &error)) {
    ADD_FAILURE() << error;
    return -1;
  }
  return p.Wait(30000);
}

void TDocsTest::Start(const std::string& Shell, const std::string& Command,
                      const std::string& Stdin) {
  support::TLaunch launch = Launch(Shell, Command);
  launch.Stdin = Stdin.empty() ? support::TLaunch::kPipe : Stdin;
  std::string error;
  ASSERT_TRUE(FStarted.Start(launch, &error)) << error;
}

void TDocsTest::StopStarted() {
  pid_t shell = FStarted.Pid();
  if (shell <= 0) return;
  // sh waits for the program it runs; end that one, by its id.
  std::ifstream children("/proc/" + std::to_string(shell) + "/task/" + std::to_string(shell) +
                         "/children");
  pid_t child;
  while (children >> child) ::kill(child, SIGTERM);
  FStarted.Stop(5000);
}

bool TDocsTest::StartRelay(uint16_t Port) {
  FRelayDir = Path("relay");
  fs::create_directory(FRelayDir);
  fs::copy_file(VORLANX_BINARY, FRelayDir + "/vorlanx");
  std::ofstream(FRelayDir + "/VORLANX.INI")
      << "[Data]\nAdress=127.0.0.1\nPort=" << Port << "\nMIDI-Out-Name=synth:in\n";
  support::TLaunch launch;
  launch.Argv = {FRelayDir + "/vorlanx"};
  // Headless; a sanitizer build's statistics would only add lines.
  launch.Env = {"DISPLAY", "LSAN_OPTIONS=print_suppressions=0"};
  launch.Stderr = FRelayDir + "/err";
  std::string error;
  if (!FRelay.Start(launch, &error)) return false;
  const std::string ready =
      "receiving on 127.0.0.1:" + std::to_string(Port) + ", playing on synth:in";
  bool started = support::WaitUntil(
      [&] { return ReadFile(FRelayDir + "/err").find(ready) != std::string::npos; }, 15000);
  return started && FSynth.WaitConnections(0, 1);
}

std::string TDocsTest::StopRelay() {
  EXPECT_EQ(FRelay.Stop(10000), 0) << ReadFile(FRelayDir + "/err");
  return ReadFile(FRelayDir + "/VORLANX.INI");
}

std::vector<TBytes> TDocsTest::Played(size_t Count, bool Drum) {
  std::vector<TBytes> got;
  for (const testjack::TMidiEvent& e : (Drum ? FDrum : FSynth).Wait(Count, 10000))
    got.push_back(e.Data());
  return got;
}

}  // namespace docs
