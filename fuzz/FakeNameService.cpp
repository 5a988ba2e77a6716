#include "fuzz/FakeNameService.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace fakens {
int Queries = 0;
std::string Asked;
}  // namespace fakens

extern "C" int getaddrinfo(const char* Node, const char*, const addrinfo*, addrinfo** Res) {
  ++fakens::Queries;
  fakens::Asked = Node ? Node : "";
  if (fakens::Asked.size() % 2) return EAI_NONAME;
  auto* a = static_cast<addrinfo*>(std::calloc(1, sizeof(addrinfo) + sizeof(sockaddr_in)));
  auto* in = reinterpret_cast<sockaddr_in*>(a + 1);
  in->sin_family = AF_INET;
  in->sin_addr.s_addr = htonl(0x7F000001u + static_cast<uint32_t>(fakens::Asked.size()));
  a->ai_family = AF_INET;
  a->ai_socktype = SOCK_STREAM;
  a->ai_addrlen = sizeof(sockaddr_in);
  a->ai_addr = reinterpret_cast<sockaddr*>(in);
  a->ai_canonname = strdup(fakens::Asked.c_str());
  *Res = a;
  return 0;
}

extern "C" void freeaddrinfo(addrinfo* Res) {
  while (Res) {
    addrinfo* next = Res->ai_next;
    std::free(Res->ai_canonname);
    std::free(Res);
    Res = next;
  }
}
