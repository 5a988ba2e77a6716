// No stuck notes: whatever ends the relay's output ends the notes it holds
// there first, and a synthesiser that went away is sent nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "tests/app/RelayProcess.h"

namespace {

using namespace relaytest;

class HeldNotesRelay : public TRelayTest {
 protected:
  void Start(TRelay& Relay) {
    FPort = FreeUdpPort();
    Relay.WriteFile("VORLANX.INI", "[Data]\nAdress=127.0.0.1\nPort=" + std::to_string(FPort) + "\n");
    ASSERT_TRUE(Relay.Start());
    ASSERT_TRUE(Relay.WaitBound("127.0.0.1", FPort));
    ASSERT_TRUE(WaitConnected(0));
  }
  uint16_t FPort = 0;
};

TEST_F(HeldNotesRelay, TerminationAndHangUpEndTheHeldNotesBeforeTheOutputCloses) {
  for (int sig : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sig);
    TRelay relay;
    Start(relay);
    HoldNotes(FPort);
    const int status = relay.Stop(sig);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ExpectHeldNotesEnded();
  }
}

TEST_F(HeldNotesRelay, ASynthesiserThatWentAwayIsSentNothing) {
  TRelay relay;
  Start(relay);
  HoldNotes(FPort);
  FSynth.Close();
  ASSERT_NE(relay.Child().Stderr("(its port went away)", 10000).find("its port went away"),
            std::string::npos);
  std::string error;
  ASSERT_TRUE(FSynth.Open("synth", {"in_a", "in_b"}, &error)) << error;
  ASSERT_TRUE(WaitConnected(0));
  ASSERT_NE(relay.Stop(), -1);
  EXPECT_TRUE(FSynth.Settle().empty()) << "the synthesiser that came back was sent note-offs";
}

}  // namespace
