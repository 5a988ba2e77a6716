// The SOCKS replies a proxy sends, as the negotiation assembles them: arbitrary
// bytes in arbitrary splits, through the same read limits and verdicts the
// socket layer uses. Checks: nothing read or written outside the reply buffer
// (the sanitizers), a step that waits always has room to read more (no wait
// that can never end), and a granted reply lies within what was read.
//
// Input: byte 0 picks the level (even: SOCKS5, odd: SOCKS4); then reads, each
// one length byte (split size) followed by that many bytes from the proxy.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "net/SocksWire.h"

using namespace sockswire;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 1) return 0;
  TReplyKind kind = (Data[0] & 1) ? TReplyKind::Socks4Connect : TReplyKind::MethodSelection;
  // Heap-allocated at its exact size, so a stray access is caught at its edge.
  std::string storage(static_cast<size_t>(kReplyBufferSize), '\0');
  uint8_t* buffer = reinterpret_cast<uint8_t*>(&storage[0]);
  int32_t held = 0;
  size_t at = 1;
  while (at < Size) {
    const size_t split = Data[at++];
    const int32_t limit = ReplyReadLimit(kind, held);
    fuzz::Check(limit > 0, "waiting with no room left to read");
    size_t n = split < Size - at ? split : Size - at;
    if (n > static_cast<size_t>(limit)) n = static_cast<size_t>(limit);
    std::memcpy(buffer + held, Data + at, n);
    at += n;
    held += static_cast<int32_t>(n);
    const TReplyDecision d = JudgeReply(kind, buffer, held);
    switch (d.Verdict) {
      case TVerdict::NeedMore:
        fuzz::Check(ReplyReadLimit(kind, held) > 0, "needs more but cannot read more");
        continue;
      case TVerdict::Fail:
        fuzz::Check(d.Error >= 20001 && d.Error <= 20016 && !d.Msg.empty(), "unknown failure");
        return 0;
      case TVerdict::Method:
        fuzz::Check(d.Method == 0 || d.Method == 2, "method other than 0 or 2 accepted");
        kind = d.Method == 2 ? TReplyKind::AuthStatus : TReplyKind::Socks5Connect;
        break;
      case TVerdict::AuthOk:
        fuzz::Check(held == 2, "user/password status is not two bytes");
        kind = TReplyKind::Socks5Connect;
        break;
      case TVerdict::Granted:
        fuzz::Check(d.Length > 0 && d.Length <= held && d.Length <= kMaxReply,
                    "granted reply outside what was read");
        fuzz::Check(d.BoundAddr.size() <= 255, "bound address too long");
        return 0;
    }
    held = 0;  // a step's reply is done; the next step starts afresh
  }
  return 0;
}
