#include "net/SocksWire.h"

namespace sockswire {

namespace {

TReplyDecision Failure(int32_t Error, const std::string& Msg) {
  TReplyDecision d;
  d.Verdict = TVerdict::Fail;
  d.Error = Error;
  d.Msg = Msg;
  return d;
}

TReplyDecision Verdict(TVerdict V) {
  TReplyDecision d;
  d.Verdict = V;
  return d;
}

TReplyDecision VersionError() { return Failure(20002, "socks version error"); }

void PutPort(std::string& Out, uint16_t Port) {
  Out += static_cast<char>(Port >> 8);
  Out += static_cast<char>(Port & 0xFF);
}

TReplyDecision JudgeMethodSelection(const uint8_t* Buf, int32_t Held) {
  if (Held < 2) return Verdict(TVerdict::NeedMore);
  if (Buf[0] != 5) return VersionError();
  if (Buf[1] != 0 && Buf[1] != 2) return Failure(20003, "authentification method not acceptable");
  TReplyDecision d = Verdict(TVerdict::Method);
  d.Method = Buf[1];
  return d;
}

TReplyDecision JudgeAuthStatus(const uint8_t* Buf, int32_t Held) {
  if (Held >= 1 && Buf[0] != 1) return VersionError();
  if (Held < 2) return Verdict(TVerdict::NeedMore);
  if (Held > 2) return Failure(20001, "too much data availaible");
  if (Buf[1] != 0) return Failure(20015, "socks authentication failed");
  return Verdict(TVerdict::AuthOk);
}

TReplyDecision JudgeSocks4(const uint8_t* Buf, int32_t Held) {
  if (Held < 8) return Verdict(TVerdict::NeedMore);
  if (Buf[0] != 0) return VersionError();
  if (Buf[1] != 90) return Socks4Refusal(Buf[1]);
  TReplyDecision d = Verdict(TVerdict::Granted);
  d.Length = 8;
  return d;
}

TReplyDecision JudgeSocks5(const uint8_t* Buf, int32_t Held) {
  if (Held >= 1 && Buf[0] != 5) return VersionError();
  // A refusal is known from the second byte, whatever follows.
  if (Held >= 2 && Buf[1] != 0) return Socks5Refusal(Buf[1]);
  if (Held < 5) return Verdict(TVerdict::NeedMore);
  const uint8_t type = Buf[3];
  const int32_t length = type == 1 ? 10 : type == 3 ? Buf[4] + 7 : 5;
  if (Held < length) return Verdict(TVerdict::NeedMore);
  TReplyDecision d = Verdict(TVerdict::Granted);
  d.Length = length;
  if (type == 1) {
    d.BoundAddr = std::to_string(Buf[4]) + "." + std::to_string(Buf[5]) + "." +
                  std::to_string(Buf[6]) + "." + std::to_string(Buf[7]);
  } else if (type == 3) {
    d.BoundAddr.assign(reinterpret_cast<const char*>(Buf + 5), Buf[4]);
  } else {
    return Failure(20011, "address type not supported");
  }
  d.BoundPort = std::to_string((Buf[length - 2] << 8) | Buf[length - 1]);
  return d;
}

}  // namespace

int32_t ReplyReadLimit(TReplyKind Kind, int32_t Held) {
  const int32_t room = (Kind == TReplyKind::Socks4Connect ? 8 : kReplyBufferSize - 1) - Held;
  return room > 0 ? room : 0;
}

TReplyDecision JudgeReply(TReplyKind Kind, const uint8_t* Buf, int32_t Held) {
  switch (Kind) {
    case TReplyKind::MethodSelection:
      return JudgeMethodSelection(Buf, Held);
    case TReplyKind::AuthStatus:
      return JudgeAuthStatus(Buf, Held);
    case TReplyKind::Socks4Connect:
      return JudgeSocks4(Buf, Held);
    case TReplyKind::Socks5Connect:
      return JudgeSocks5(Buf, Held);
  }
  return Failure(20013, "internal error");
}

TReplyDecision Socks5Refusal(uint8_t Code) {
  static const char* const kTexts[] = {
      "general SOCKS server failure", "connection not allowed by ruleset",
      "network unreachable",          "host unreachable",
      "connection refused",           "time to live expired",
      "command not supported",        "address type not supported"};
  if (Code >= 1 && Code <= 8) return Failure(20003 + Code, kTexts[Code - 1]);
  return Failure(20012, "unassigned error #" + std::to_string(Code));
}

TReplyDecision Socks4Refusal(uint8_t Status) {
  switch (Status) {
    case 91:
      return Failure(20016, "request rejected or failed");
    case 92:
      return Failure(20008, "connection refused");
    case 93:
      return Failure(20015, "authentification failed");
    default:
      return Failure(20012, "unassigned error #" + std::to_string(Status));
  }
}

std::string Socks5Greeting(uint8_t Method) { return std::string{5, 1, static_cast<char>(Method)}; }

std::string AuthRequest(const std::string& User, const std::string& Password) {
  std::string out(1, '\x01');
  out += static_cast<char>(User.size());
  out += User;
  out += static_cast<char>(Password.size());
  out += Password;
  return out;
}

std::string Socks4Request(uint16_t Port, uint32_t Addr4, const std::string& UserId) {
  std::string out{4, 1};
  PutPort(out, Port);
  out.append(reinterpret_cast<const char*>(&Addr4), 4);  // already in network order
  out += UserId;
  out += '\0';
  return out;
}

std::string Socks4aRequest(uint16_t Port, const std::string& UserId, const std::string& Host) {
  std::string out{4, 1};
  PutPort(out, Port);
  out += std::string{0, 0, 0, 1};  // 0.0.0.1: the proxy resolves the name that follows
  out += UserId;
  out += '\0';
  out += Host;
  out += '\0';
  return out;
}

std::string Socks5ConnectRequest(const std::string& Host, uint16_t Port) {
  // Always a domain name, also for a dotted address: the proxy resolves it.
  std::string out{5, 1, 0, 3, static_cast<char>(Host.size())};
  out += Host;
  PutPort(out, Port);
  return out;
}

std::string FieldProblem(const std::string& What, const std::string& Value, bool ZeroEnded) {
  if (Value.size() > kMaxField)
    return What + " is longer than 255 bytes (" + std::to_string(Value.size()) + ")";
  if (ZeroEnded && Value.find('\0') != std::string::npos) return What + " contains a zero byte";
  return std::string();
}

}  // namespace sockswire
