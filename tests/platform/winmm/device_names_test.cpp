// Device names in the 32 bytes the registry carries: readable, and never two alike.
#include <gtest/gtest.h>

#include <set>

#include "platform/winmm/linux/DeviceNames.h"
#include "rtl/SysUtils.h"

using winmm::DistinctShortNames;

namespace {

TEST(ShortenMiddle, KeepsStartAndEndWithinTheLimit) {
  EXPECT_EQ(ShortenMiddle("synth:in", 32), "synth:in");
  const std::string exact(32, 'a');
  EXPECT_EQ(ShortenMiddle(exact, 32), exact);
  const std::string s = ShortenMiddle("Yamaha Motif XF8 Rack Expander Unit Port 1:in", 32);
  EXPECT_EQ(s, "Yamaha Motif XF\xE2\x80\xA6Unit Port 1:in");
  EXPECT_EQ(s.size(), 32u);
  // A multi-byte character is kept whole or left out, never cut.
  const std::string umlauts = "\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC";  // 6 x u-umlaut
  const std::string u = ShortenMiddle(umlauts, 8);
  EXPECT_LE(u.size(), 8u);
  EXPECT_EQ(u, "\xC3\xBC\xE2\x80\xA6\xC3\xBC");
  EXPECT_EQ(ShortenMiddle("abcdef", 3), "abc");  // no room for the marker
}

TEST(DistinctShortNames, LongNamesStayDistinctAndNoTwoAreAlike) {
  const std::vector<std::string> full = {
      "Yamaha Motif XF8 Rack Expander Unit Port 1:in",
      "Yamaha Motif XF8 Rack Expander Unit Port 2:in",
      "Midi Through:Midi Through Port-0",  // the same name from two services
      "Midi Through:Midi Through Port-0",
      "a2j:Midi Through [14] (playback): Midi Through Port-0",
      "a2j:Midi Through [14] (capture): Midi Through Port-0",
  };
  const std::vector<std::string> shown = DistinctShortNames(full, 32);
  ASSERT_EQ(shown.size(), full.size());
  EXPECT_EQ(std::set<std::string>(shown.begin(), shown.end()).size(), shown.size());
  for (const std::string& s : shown) EXPECT_LE(s.size(), 32u) << s;
  EXPECT_EQ(shown[0], "Yamaha Motif XF\xE2\x80\xA6Unit Port 1:in");
  EXPECT_EQ(shown[1], "Yamaha Motif XF\xE2\x80\xA6Unit Port 2:in");
  EXPECT_EQ(shown[2], "Midi Through:Midi Through Port-0");
  EXPECT_EQ(shown[3].substr(shown[3].size() - 4), " (2)") << shown[3];
  EXPECT_EQ(shown[3].size(), 32u);
  EXPECT_NE(shown[4], shown[5]);

  // A number is never one that another device shows on its own.
  EXPECT_EQ(DistinctShortNames({"synth", "synth", "synth (2)"}, 32),
            (std::vector<std::string>{"synth", "synth (3)", "synth (2)"}));
}

}  // namespace
