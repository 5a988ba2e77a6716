// The benchmark's own arithmetic: what it decodes and counts must be right, or
// its tables mislead.
#include <gtest/gtest.h>

#include <time.h>
#include <unistd.h>

#include "Clock.h"
#include "Counters.h"
#include "ProcStats.h"
#include "Results.h"
#include "SeqCodec.h"
#include "Spread.h"

using namespace relaybench;

TEST(SeqCodec, EveryNumberAndParityRoundTrips) {
  for (uint32_t seq : {0u, 1u, 127u, 128u, 16383u, 16384u, 65537u, kSeqCapacity - 1})
    for (int parity : {0, 1}) {
      const TSeqMessage m = EncodeSeq(seq, parity);
      EXPECT_EQ(m.Bytes[0] & 0xE0, 0x80);  // a note-on or note-off
      EXPECT_EQ(m.Bytes[1] & 0x80, 0);
      EXPECT_EQ(m.Bytes[2] & 0x80, 0);
      EXPECT_NE(m.Bytes[0], 0xFE);  // which the relay would skip
      uint32_t s;
      int p;
      ASSERT_TRUE(DecodeSeq(m.Bytes, s, p));
      EXPECT_EQ(s, seq);
      EXPECT_EQ(p, parity);
    }
}

TEST(SeqCodec, RejectsBytesNoSenderMade) {
  uint32_t s;
  int p;
  const uint8_t control[3] = {0xB0, 1, 2}, badData[3] = {0x90, 0x80, 0}, clock[3] = {0xF8, 0, 0};
  EXPECT_FALSE(DecodeSeq(control, s, p));
  EXPECT_FALSE(DecodeSeq(badData, s, p));
  EXPECT_FALSE(DecodeSeq(clock, s, p));
}

TEST(Percentile, NearestRank) {
  std::vector<double> v;
  for (int i = 1; i <= 200; ++i) v.push_back(i);
  EXPECT_EQ(Percentile(v, 1), 2);
  EXPECT_EQ(Percentile(v, 50), 100);
  EXPECT_EQ(Percentile(v, 99), 198);
  EXPECT_EQ(Percentile(v, 100), 200);
  EXPECT_EQ(Percentile({7}, 1), 7);
  EXPECT_EQ(Percentile({}, 50), 0);
}

TEST(UdpCounters, ReadsByColumnNameFromTheUdpLinesOnly) {
  const char* snmp =
      "Ip: Forwarding DefaultTTL\nIp: 1 64\n"
      "Udp: InDatagrams NoPorts InErrors OutDatagrams RcvbufErrors SndbufErrors InCsumErrors "
      "IgnoredMulti MemErrors\n"
      "Udp: 1000 3 250 1200 240 0 0 7 0\n"
      "UdpLite: InDatagrams NoPorts InErrors OutDatagrams RcvbufErrors SndbufErrors InCsumErrors "
      "IgnoredMulti MemErrors\n"
      "UdpLite: 9 9 9 9 9 9 9 9 9\n";
  const TUdpCounters c = ParseUdpCounters(snmp);
  EXPECT_EQ(c.InDatagrams, 1000);
  EXPECT_EQ(c.NoPorts, 3);
  EXPECT_EQ(c.InErrors, 250);
  EXPECT_EQ(c.RcvbufErrors, 240);
}

TEST(ProcStats, SplitsTheMainThreadAndTheKernelShareFromTheProcessClock) {
  const TCpuSample a = SampleCpu(getpid());
  // 20 ms of this thread's own CPU (a loaded machine gives it slowly), at most 10 s.
  auto threadNs = [] {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
  };
  const int64_t from = threadNs();
  volatile uint64_t spin = 0;
  while (threadNs() - from < 20000000 && MonotonicNs() - a.AtNs < 10000000000LL) spin = spin + 1;
  const TCpuSample b = SampleCpu(getpid());
  ASSERT_GE(a.MainNs, 0);
  ASSERT_GE(a.SysTicks, 0);
  EXPECT_LE(a.SysTicks, a.StatTicks);
  // This test runs on the main thread: its time is the main thread's.
  EXPECT_GT(b.MainNs - a.MainNs, 10000000);
  EXPECT_LE(b.MainNs - a.MainNs, b.Ns - a.Ns + 1000000);
}

TEST(Spread, MedianAndRangeOfWhatWasMeasured) {
  const TSpread odd = SpreadOf({3, -1, 1, 2});  // -1: not measured
  EXPECT_EQ(odd.N, 3);
  EXPECT_EQ(odd.Median, 2);
  EXPECT_EQ(odd.Min, 1);
  EXPECT_EQ(odd.Max, 3);
  EXPECT_EQ(SpreadOf({4, 1, 2, 3}).Median, 2.5);
  EXPECT_FALSE(SpreadOf({-1}).Valid());
}

TEST(Spread, PerMessageCountsAreNetOfTheIdleRate) {
  TPhaseResult p;
  p.Sent = 1000;
  p.Syscalls = 3000;
  p.CountedS = 2;
  TIdleResult idle;
  idle.Syscalls = 500;
  idle.Seconds = 1;
  EXPECT_DOUBLE_EQ(SyscallsPerMessage(p, idle), 2.0);
  p.Syscalls = -1;  // perf could not count
  EXPECT_EQ(SyscallsPerMessage(p, idle), -1);
}

TEST(Counters, ParsesWhatPerfStraceAndCallgrindPrint) {
  const char* perf =
      "# started on Wed Dec  9 10:06:01 2026\n\n"
      "12345,,raw_syscalls:sys_enter,2000,100.00,,\n"
      "<not counted>,,context-switches,0,100.00,,\n";
  EXPECT_EQ(PerfCount(perf, "raw_syscalls:sys_enter"), 12345);
  EXPECT_EQ(PerfCount(perf, "context-switches"), 0);
  EXPECT_EQ(PerfCount(perf, "instructions"), -1);

  const char* strace =
      "% time     seconds  usecs/call     calls    errors syscall\n"
      "------ ----------- ----------- --------- --------- ----------------\n"
      " 60.00    0.000600           3       200           recvfrom\n"
      " 40.00    0.000400           2       180        20 epoll_wait\n"
      "------ ----------- ----------- --------- --------- ----------------\n"
      "100.00    0.001000           2       380        20 total\n";
  const auto calls = StraceCalls(strace);
  EXPECT_EQ(calls.at("recvfrom"), 200);
  EXPECT_EQ(calls.at("epoll_wait"), 180);
  EXPECT_EQ(calls.at("total"), 380);
  EXPECT_EQ(calls.size(), 3u);

  EXPECT_EQ(CallgrindSummary("events: Ir\nsummary: 987654\ntotals: 987659\n"), 987654);
  EXPECT_EQ(CallgrindSummary("events: Ir\n"), -1);
}
