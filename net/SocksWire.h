// The SOCKS 4, 4A and 5 wire formats as pure functions: requests built from
// values, replies judged from the bytes held so far. No sockets, no state of
// their own, so the negotiation, its tests and the fuzz target share them.
#pragma once

#include <cstdint>
#include <string>

namespace sockswire {

// The longest reply any step can get: a SOCKS5 connect reply naming its bound
// address as a 255-byte domain (4 + 1 + 255 + 2). The buffer holds one more
// byte at least, so bytes after a reply can be read with it.
constexpr int32_t kMaxReply = 262;
constexpr int32_t kReplyBufferSize = 512;
// One length byte carries each variable field of a request.
constexpr size_t kMaxField = 255;

// Which reply a negotiation step awaits.
enum class TReplyKind : uint8_t {
  MethodSelection,  // SOCKS5: version, chosen method
  AuthStatus,       // user/password sub-negotiation: version, status
  Socks4Connect,    // SOCKS4/4A: 8 bytes, version 0
  Socks5Connect     // SOCKS5: version, code, reserved, type, address, port
};

enum class TVerdict : uint8_t {
  NeedMore,  // the reply is not complete: read again
  Fail,      // Error and Msg say why
  Method,    // method selection: Method chosen (0 or 2)
  AuthOk,    // user/password accepted
  Granted    // connect reply complete: Length bytes; SOCKS5 also the bound address
};

struct TReplyDecision {
  TVerdict Verdict = TVerdict::NeedMore;
  int32_t Error = 0;
  std::string Msg;
  uint8_t Method = 0;
  int32_t Length = 0;  // bytes of the reply proper (Granted)
  std::string BoundAddr;
  std::string BoundPort;
};

// How many bytes the step may read into a buffer of kReplyBufferSize holding
// Held bytes. A SOCKS4 reply is read exactly, so no byte after it is taken.
// Whenever JudgeReply says NeedMore, this is above 0.
int32_t ReplyReadLimit(TReplyKind Kind, int32_t Held);

// Judges the Held bytes at Buf against the reply Kind.
TReplyDecision JudgeReply(TReplyKind Kind, const uint8_t* Buf, int32_t Held);

// The failure code and text of a SOCKS5 reply code (1 and above).
TReplyDecision Socks5Refusal(uint8_t Code);
// The failure code and text of a SOCKS4 status other than 90.
TReplyDecision Socks4Refusal(uint8_t Status);

// Requests. Port is in host order; Addr4 is an IPv4 address in network order.
std::string Socks5Greeting(uint8_t Method);
std::string AuthRequest(const std::string& User, const std::string& Password);
std::string Socks4Request(uint16_t Port, uint32_t Addr4, const std::string& UserId);
std::string Socks4aRequest(uint16_t Port, const std::string& UserId, const std::string& Host);
std::string Socks5ConnectRequest(const std::string& Host, uint16_t Port);

// Why a value cannot go out in a request (empty when it can): over 255 bytes,
// or, where the protocol ends the field with a zero byte, containing one.
// What names the value in the text ("socks user code", "host name").
std::string FieldProblem(const std::string& What, const std::string& Value, bool ZeroEnded);

}  // namespace sockswire
