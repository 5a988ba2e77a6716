#include "app/RelayCounts.h"

#include <cstring>

std::string TRelayCounts::Text() const {
  using std::to_string;
  std::string text = "received " + to_string(Received) + ", played " + to_string(Played) +
                     ", dropped " + to_string(DroppedForLength + DroppedForFE + DroppedNoOutput) +
                     " (" + to_string(DroppedForLength) + " for their length, " +
                     to_string(DroppedForFE) + " for 0xFE, " + to_string(DroppedNoOutput) +
                     " with no output)";
  if (Received == 0) return text;
  uint8_t a[4], p[2];
  std::memcpy(a, &SenderAddr, sizeof a);  // network order: first byte first
  std::memcpy(p, &SenderPort, sizeof p);
  return text + ", last from " + to_string(a[0]) + "." + to_string(a[1]) + "." + to_string(a[2]) +
         "." + to_string(a[3]) + ":" + to_string(p[0] << 8 | p[1]);
}
