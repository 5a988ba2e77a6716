// MIDI output through the registry into a private JACK server:
//  - how many SendShortMessage calls a second the sender can make, and how many
//    messages a second reach a receiving client when sending flat out;
//  - the latency from the call to the receiving client at 1,000 messages a
//    second, with 64- and 256-frame periods (median, 1st and 99th percentile).
#include <jack/jack.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "midi/Midi.h"
#include "tests/support/JackServer.h"
#include "tests/support/MidiReceiver.h"
#include "tests/support/PrivateShm.h"

using testjack::TMidiEvent;

namespace {

constexpr unsigned kRate = 48000;

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Note-ons that carry an 18-bit sequence number, so arrivals can be matched to calls.
void SendSeq(TMidiOutput& Out, int Device, uint32_t Seq) {
  Out.SendShortMessage(Device, static_cast<uint8_t>(0x90 | (Seq >> 14 & 0x0F)), Seq & 0x7F,
                       Seq >> 7 & 0x7F);
}
uint32_t SeqOf(const TMidiEvent& E) {
  return (E.Bytes[0] & 0x0Fu) << 14 | E.Bytes[2] << 7 | E.Bytes[1];
}

struct Setup {
  testjack::TJackServer Server;
  testjack::TMidiReceiver Receiver;
  TMidiOutput* Out = nullptr;
  int Device = -1;

  bool Start(unsigned Period) {
    std::string error;
    if (!Server.Start(Period, kRate, &error) || !Receiver.Open("receiver", {"in"}, &error)) {
      std::fprintf(stderr, "midi bench: %s\n", error.c_str());
      return false;
    }
    FinalizeMidiOutput();
    Out = MidiOutput();
    for (int i = 0; i < Out->FDevices.Count(); ++i)
      if (Out->FDevices.Strings(i) == "receiver:in") Device = i;
    if (Device < 0) return false;
    Out->OpenDevice(Device);
    return true;
  }
  ~Setup() {
    if (Out != nullptr && Device >= 0) Out->CloseDevice(Device);
    FinalizeMidiOutput();
  }
};

void Throughput(unsigned Period) {
  Setup s;
  if (!s.Start(Period)) return;

  // Cost of the call alone: batches that fit the queue, timed without the wait for delivery.
  const uint32_t kBatch = 16000, kBatches = 25;
  double callTime = 0;
  uint32_t seq = 0;
  for (uint32_t b = 0; b < kBatches; ++b) {
    double t0 = Seconds();
    for (uint32_t i = 0; i < kBatch; ++i) SendSeq(*s.Out, s.Device, seq++ & 0x3FFFF);
    callTime += Seconds() - t0;
    if (s.Receiver.Wait(kBatch, 10000).size() != kBatch) {
      std::printf("  period %3u: messages lost in batch %u\n", Period, b);
      return;
    }
  }

  // Flat out for two seconds: what reaches the receiver; refused calls are retried.
  uint32_t accepted = 0, refused = 0, received = 0, reordered = 0, previous = 0;
  auto take = [&](const std::vector<TMidiEvent>& Events) {
    for (const TMidiEvent& e : Events) {
      uint32_t seq = SeqOf(e);
      if (received > 0 && ((seq - previous) & 0x3FFFF) > 0x20000) ++reordered;
      previous = seq;
      ++received;
    }
  };
  double start = Seconds(), last = start;
  while (Seconds() - start < 2.0) {
    try {
      SendSeq(*s.Out, s.Device, accepted & 0x3FFFF);
      ++accepted;
    } catch (const Exception&) {
      ++refused;
    }
    if ((accepted + refused) % 256 == 0) {
      take(s.Receiver.Wait(SIZE_MAX, 0));
      last = Seconds();
    }
  }
  while (received < accepted) {
    std::vector<TMidiEvent> got = s.Receiver.Wait(accepted - received, 2000);
    if (got.empty()) break;
    take(got);
    last = Seconds();
  }
  std::printf(
      "  period %4u: %6.2f M calls/s while the queue has room; flat out %8.0f msgs/s delivered "
      "(%u accepted, %u lost, %u out of order, %u calls refused: queue full)\n",
      Period, kBatch * kBatches / callTime / 1e6, received / (last - start), accepted,
      accepted - received, reordered, refused);
}

double Percentile(std::vector<double> V, double P) {
  if (V.empty()) return 0;
  std::sort(V.begin(), V.end());
  size_t i = static_cast<size_t>(P / 100.0 * static_cast<double>(V.size() - 1) + 0.5);
  return V[i];
}

void Latency(unsigned Period) {
  Setup s;
  if (!s.Start(Period)) return;
  const uint32_t kCount = 3000;  // three seconds at 1,000 messages a second
  std::vector<jack_time_t> callUsecs(kCount);
  timespec next;
  clock_gettime(CLOCK_MONOTONIC, &next);
  for (uint32_t i = 0; i < kCount; ++i) {
    next.tv_nsec += 1000000;
    if (next.tv_nsec >= 1000000000) {
      next.tv_nsec -= 1000000000;
      next.tv_sec += 1;
    }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    callUsecs[i] = jack_get_time();
    SendSeq(*s.Out, s.Device, i);
  }
  std::vector<TMidiEvent> got = s.Receiver.Wait(kCount, 5000);
  // The play position in wall-clock time: the start of the receiving cycle plus
  // the event's offset in it.
  std::vector<double> play, delivery;
  for (const TMidiEvent& e : got) {
    uint32_t i = SeqOf(e);
    if (i >= kCount) continue;
    double cycle = static_cast<double>(e.CycleUsecs) - static_cast<double>(callUsecs[i]);
    play.push_back(cycle + e.Offset * 1e6 / kRate);
    delivery.push_back(cycle);
  }
  double toMs = 1000.0 / kRate;
  std::printf("  period %4u (%.2f ms): %zu of %u received\n", Period, Period * toMs, got.size(),
              kCount);
  std::printf(
      "    call to play position     median %6.0f  p1 %6.0f  p99 %6.0f us (%.3f / %.3f / %.3f "
      "ms)\n",
      Percentile(play, 50), Percentile(play, 1), Percentile(play, 99), Percentile(play, 50) / 1000,
      Percentile(play, 1) / 1000, Percentile(play, 99) / 1000);
  std::printf("    call to receiving cycle   median %6.0f  p1 %6.0f  p99 %6.0f us (wall clock)\n",
              Percentile(delivery, 50), Percentile(delivery, 1), Percentile(delivery, 99));
}

}  // namespace

int main() {
  if (!testjack::EnterPrivateShm()) {
    std::printf("midi bench skipped: %s\n", testjack::PrivateShmError().c_str());
    return 0;
  }
  try {
    std::printf("MIDI output into JACK (jackd -S --no-realtime, dummy driver, %u Hz)\n", kRate);
    std::printf("throughput through SendShortMessage:\n");
    Throughput(64);
    Throughput(256);
    std::printf(
        "latency at 1,000 msgs/s (play position: the start of the receiver's cycle plus the\n"
        "event's offset in it; receiving cycle: when the receiver's process callback sees it):\n");
    Latency(64);
    Latency(256);
  } catch (const Exception& e) {
    std::printf("midi bench failed: %s\n", e.Message().c_str());
    return 1;
  }
  return 0;
}
