// The benchmark's own arithmetic: what it decodes and counts must be right, or
// its tables mislead.
#include <gtest/gtest.h>

#include "ProcStats.h"
#include "Results.h"
#include "SeqCodec.h"

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
