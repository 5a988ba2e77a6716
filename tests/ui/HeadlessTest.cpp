// The sample form run as a program without a display.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/ui/GuiTestSupport.h"

namespace {

using guitest::TChild;

const std::vector<std::string> kNoDisplay = {"DISPLAY"};

bool StartSample(TChild& child, std::vector<std::string> args,
                 std::vector<std::string> env = kNoDisplay) {
  args.insert(args.begin(), UI_SAMPLE_FORM);
  return child.Start(args, env) && child.WaitFor("ready", 10000) == "ready headless";
}

void ExpectCleanExit(TChild& child) {
  int status = child.Wait(10000);
  ASSERT_NE(status, -1) << "did not end";
  EXPECT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Headless, TerminationSignalsCloseTheFormNormally) {
  for (int sig : {SIGTERM, SIGINT}) {
    TChild child;
    ASSERT_TRUE(StartSample(child, {"--bounds=-5,99999,500,20"}));
    child.Signal(sig);
    // Position and size come back exactly as they were set, however odd.
    EXPECT_EQ(child.WaitFor("destroyed", 10000), "destroyed -5 99999 500 20") << sig;
    ExpectCleanExit(child);
  }
}

TEST(Headless, ErrorsBecomeOneLineOnStandardErrorAndTheProgramGoesOn) {
  TChild child;
  ASSERT_TRUE(StartSample(
      child, {"--fail-create=Creation failed", "--fail-destroy=Unable to write to /x/Y.INI"}));
  EXPECT_EQ(child.Stderr("\n", 10000), "ui_sample_form: Creation failed.\n");
  // Still running, still dispatching posted messages.
  child.Write("post\npost\n");
  EXPECT_EQ(child.WaitFor("posted=", 10000), "posted=1");
  EXPECT_EQ(child.WaitFor("posted=", 10000), "posted=2");
  child.Write("close\n");
  EXPECT_EQ(child.WaitFor("destroyed", 10000), "destroyed 120 90 191 192");
  ExpectCleanExit(child);
  EXPECT_EQ(child.Stderr(),
            "ui_sample_form: Creation failed.\n"
            "ui_sample_form: Unable to write to /x/Y.INI.\n");
}

TEST(Headless, ADisplayThatCannotBeReachedMeansHeadless) {
  TChild child;
  ASSERT_TRUE(StartSample(child, {}, {"DISPLAY=:9999"}));
  child.Signal(SIGTERM);
  ExpectCleanExit(child);
}

TEST(Headless, IdleCostsNoProcessorTime) {
  TChild child;
  ASSERT_TRUE(StartSample(child, {"--headless"}));
  // A busy loop would use about 50 ticks of every 500 ms, or a good share of
  // that on a loaded machine: never a whole quiet window.
  EXPECT_TRUE(child.WaitIdle(3, 500, 10000));
  child.Signal(SIGTERM);
  ExpectCleanExit(child);
}

}  // namespace
