// libuv (uv_udp_recv_start) and asio (async_receive_from) receivers, each
// written as their documentation shows: one callback per datagram into a
// buffer that is reused.
#include "Baselines.h"

#include <chrono>

#ifdef VORLANX_BENCH_LIBUV
#include <uv.h>
#endif
#ifdef VORLANX_BENCH_ASIO
#include <asio.hpp>
#endif

namespace baselines {

namespace {
constexpr int kLimitSeconds = 5;
}  // namespace

#ifdef VORLANX_BENCH_LIBUV
namespace {

class LibuvReceiver : public Receiver {
 public:
  LibuvReceiver() {
    uv_loop_init(&loop_);
    uv_udp_init(&loop_, &udp_);
    uv_timer_init(&loop_, &timer_);
    udp_.data = this;
    timer_.data = this;
    sockaddr_in a;
    uv_ip4_addr("127.0.0.1", 0, &a);
    uv_udp_bind(&udp_, reinterpret_cast<const sockaddr*>(&a), 0);
    sockaddr_in bound;
    int len = sizeof bound;
    uv_udp_getsockname(&udp_, reinterpret_cast<sockaddr*>(&bound), &len);
    port_ = ntohs(bound.sin_port);
    uv_udp_recv_start(&udp_, &Alloc, &Received);
  }
  ~LibuvReceiver() override {
    uv_close(reinterpret_cast<uv_handle_t*>(&udp_), nullptr);
    uv_close(reinterpret_cast<uv_handle_t*>(&timer_), nullptr);
    uv_run(&loop_, UV_RUN_DEFAULT);
    uv_loop_close(&loop_);
  }
  uint16_t Port() const override { return port_; }
  long Drain(long k) override {
    count_ = 0;
    target_ = k;
    timedOut_ = false;
    uv_timer_start(&timer_, &TimedOut, kLimitSeconds * 1000, 0);
    while (count_ < target_ && !timedOut_) uv_run(&loop_, UV_RUN_ONCE);
    uv_timer_stop(&timer_);
    return count_;
  }

 private:
  static void Alloc(uv_handle_t* h, size_t, uv_buf_t* buf) {
    auto* self = static_cast<LibuvReceiver*>(h->data);
    *buf = uv_buf_init(self->buffer_, sizeof self->buffer_);
  }
  static void Received(uv_udp_t* h, ssize_t n, const uv_buf_t*, const sockaddr* from, unsigned) {
    auto* self = static_cast<LibuvReceiver*>(h->data);
    if (from && n == 3) ++self->count_;
  }
  static void TimedOut(uv_timer_t* t) { static_cast<LibuvReceiver*>(t->data)->timedOut_ = true; }

  uv_loop_t loop_;
  uv_udp_t udp_;
  uv_timer_t timer_;
  uint16_t port_ = 0;
  long count_ = 0;
  long target_ = 0;
  bool timedOut_ = false;
  char buffer_[65536];
};

}  // namespace

std::unique_ptr<Receiver> MakeLibuvReceiver() { return std::make_unique<LibuvReceiver>(); }
#else
std::unique_ptr<Receiver> MakeLibuvReceiver() { return nullptr; }
#endif

#ifdef VORLANX_BENCH_ASIO
namespace {

class AsioReceiver : public Receiver {
 public:
  AsioReceiver() : socket_(io_, asio::ip::udp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
    Receive();
  }
  uint16_t Port() const override { return socket_.local_endpoint().port(); }
  long Drain(long k) override {
    count_ = 0;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(kLimitSeconds);
    while (count_ < k && std::chrono::steady_clock::now() < limit)
      io_.run_one_for(std::chrono::seconds(kLimitSeconds));
    return count_;
  }

 private:
  void Receive() {
    socket_.async_receive_from(asio::buffer(buffer_), from_,
                               [this](const asio::error_code& e, size_t n) {
                                 if (e) return;
                                 if (n == 3) ++count_;
                                 Receive();
                               });
  }

  asio::io_context io_;
  asio::ip::udp::socket socket_;
  asio::ip::udp::endpoint from_;
  long count_ = 0;
  char buffer_[65536];
};

}  // namespace

std::unique_ptr<Receiver> MakeAsioReceiver() { return std::make_unique<AsioReceiver>(); }
#else
std::unique_ptr<Receiver> MakeAsioReceiver() { return nullptr; }
#endif

}  // namespace baselines
