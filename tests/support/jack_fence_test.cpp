#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "tests/support/JackFence.h"
#include "tests/support/JackServer.h"

namespace {

// A client whose process has died is removed by the server when it next looks,
// so a test's own client may be told of it at any moment after: the fence
// is passed only once that notice has been handled too.
TEST(JackFence, PassingItMeansADeadClientsRemovalHasArrived) {
  testjack::TJackServer server;
  ASSERT_TRUE(server.Start());
  for (int round = 1; round <= 3; ++round) {
    int ready[2], hold[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(hold), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(hold[1]);  // so that it also ends when the test does
      jack_client_t* c = jack_client_open("leaver", JackNoStartServer, nullptr);
      const char ok = c != nullptr && jack_activate(c) == 0 ? 1 : 0;
      char byte;
      if (write(ready[1], &ok, 1) == 1) (void)!read(hold[0], &byte, 1);  // until killed
      _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 1);
    jack_client_t* a = jack_client_open("watcher", JackNoStartServer, nullptr);
    ASSERT_NE(a, nullptr);
    std::atomic<int> gone{0};
    jack_set_client_registration_callback(
        a,
        [](const char* Name, int Registered, void* Arg) {
          if (!Registered && std::strcmp(Name, "leaver") == 0) ++*static_cast<std::atomic<int>*>(Arg);
        },
        &gone);
    jack_port_t* port = jack_port_register(a, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    ASSERT_NE(port, nullptr);
    testjack::TJackFence fence;
    fence.Attach(a, port);
    ASSERT_EQ(jack_activate(a), 0);
    kill(child, SIGKILL);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    for (int fd : {ready[0], ready[1], hold[0], hold[1]}) close(fd);
    ASSERT_TRUE(fence.Pass());
    EXPECT_EQ(gone.load(), 1) << "round " << round;
    jack_client_close(a);
  }
  // With the server gone the fence gives up rather than hang the close.
  jack_client_t* a = jack_client_open("watcher", JackNoStartServer, nullptr);
  ASSERT_NE(a, nullptr);
  testjack::TJackFence fence;
  fence.Attach(a, jack_port_register(a, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0));
  ASSERT_EQ(jack_activate(a), 0);
  server.Kill();
  EXPECT_FALSE(fence.Pass(2000));
  jack_client_close(a);
}

}  // namespace
