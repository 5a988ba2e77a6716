#include "Runner.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "Clock.h"
#include "Counters.h"
#include "Recorder.h"
#include "Relay.h"
#include "Sender.h"

namespace relaybench {
namespace {

void SleepMs(int Ms) { usleep(static_cast<useconds_t>(Ms) * 1000); }

std::string RateLabel(double Rate) {
  char b[32];
  std::snprintf(b, sizeof b, "%.0f/s", Rate);
  return b;
}

}  // namespace

TRunner::TRunner(const TOptions& Options, TRecorder& Recorder)
    : FOptions(Options), FRecorder(Recorder), FSendNs(new int64_t[kSeqCapacity]) {
  std::memset(FSendNs.get(), 0, sizeof(int64_t) * kSeqCapacity);
}

void TRunner::Drain(int Parity, uint32_t Sent) {
  const int64_t limit = MonotonicNs() + 5000000000LL;
  uint32_t seen = FRecorder.Received(Parity);
  int64_t lastChange = MonotonicNs();
  while (seen < Sent) {
    SleepMs(5);
    const int64_t now = MonotonicNs();
    const uint32_t r = FRecorder.Received(Parity);
    if (r != seen) {
      seen = r;
      lastChange = now;
    }
    if (now - lastChange > 500000000LL || now > limit) break;
  }
  FRecorder.Disarm();
}

bool TRunner::WarmUp(TRelay& Relay, TSender& Sender, std::string* Error) {
  const int parity = FParity++ & 1;
  FRecorder.Arm(parity);
  Sender.Send(20, 200, parity, FSendNs.get());
  Drain(parity, 20);
  if (FRecorder.Received(parity) == 0) {
    if (Error)
      *Error = std::string(Relay.Name()) + " delivered none of 20 warm-up messages: " + Relay.Log();
    return false;
  }
  return true;
}

TIdleResult TRunner::MeasureIdle(TRelay& Relay) {
  TIdleResult r;
  SleepMs(1000);  // let the warm-up's effects settle
  TPerfCounter perf;
  const bool counting = TPerfCounter::Available() && perf.Start(Relay.Pid(), FWorkDir);
  const TCpuSample a = SampleCpu(Relay.Pid());
  SleepMs(static_cast<int>(FOptions.IdleSeconds * 1000));
  const TCpuSample b = SampleCpu(Relay.Pid());
  if (counting) perf.Stop(&r.Syscalls, &r.Switches);
  r.Seconds = static_cast<double>(b.AtNs - a.AtNs) / 1e9;
  if (a.Ns >= 0 && b.Ns >= 0)
    r.CpuPercent = 100.0 * static_cast<double>(b.Ns - a.Ns) / static_cast<double>(b.AtNs - a.AtNs);
  if (a.StatTicks >= 0 && b.StatTicks >= 0)
    r.StatCpuPercent = 100.0 * static_cast<double>(b.StatTicks - a.StatTicks) * StatTickNs() /
                       static_cast<double>(b.AtNs - a.AtNs);
  if (a.MainRuns >= 0 && b.MainRuns >= 0) r.MainThreadRuns = b.MainRuns - a.MainRuns;
  if (a.MainNs >= 0 && b.MainNs >= 0)
    r.MainCpuPercent =
        100.0 * static_cast<double>(b.MainNs - a.MainNs) / static_cast<double>(b.AtNs - a.AtNs);
  return r;
}

TPhaseResult TRunner::RunPhase(TRelay& Relay, TSender& Sender, const std::string& Label,
                               double Rate, uint32_t Count, double IdleShare,
                               double MainIdleShare) {
  TPhaseResult r;
  r.Label = Label;
  r.Rate = Rate;
  Count = std::min(Count, kSeqCapacity);
  const int parity = FParity++ & 1;
  std::memset(FSendNs.get(), 0, sizeof(int64_t) * Count);
  FRecorder.Arm(parity);
  TPerfCounter perf;
  const bool counting = TPerfCounter::Available() && perf.Start(Relay.Pid(), FWorkDir);
  const int64_t counted0 = MonotonicNs();
  const TUdpCounters udp0 = SampleUdp();
  const TCpuSample cpu0 = SampleCpu(Relay.Pid());
  const TSendResult sent = Sender.Send(Count, Rate, parity, FSendNs.get());
  Drain(parity, sent.Sent);
  const TCpuSample cpu1 = SampleCpu(Relay.Pid());
  if (counting) {
    perf.Stop(&r.Syscalls, &r.Switches);
    r.CountedS = static_cast<double>(MonotonicNs() - counted0) / 1e9;
  }
  const TUdpCounters udp1 = SampleUdp();
  const TCapture& c = FRecorder.Capture(parity);
  r.Sent = sent.Sent;
  r.SendFailed = sent.Failed;
  r.SendSeconds = sent.Seconds;
  r.Received = c.Received.load();
  r.Lost = r.Sent > r.Received ? r.Sent - r.Received : 0;
  r.Reordered = c.Reordered.load();
  r.Duplicates = c.Duplicates.load();
  r.MaxPerCycle = c.MaxPerCycle.load();
  r.RcvbufErrors = udp1.RcvbufErrors - udp0.RcvbufErrors;
  r.InErrors = udp1.InErrors - udp0.InErrors;
  r.Latency = MeasureLatency(FSendNs.get(), c, Count);
  const double wallNs = static_cast<double>(cpu1.AtNs - cpu0.AtNs);
  r.WallS = wallNs / 1e9;
  if (cpu0.Ns >= 0 && cpu1.Ns >= 0 && r.Sent > 0) {
    const double cpuNs = static_cast<double>(cpu1.Ns - cpu0.Ns);
    r.CpuMs = cpuNs / 1e6;
    r.CpuPer10kMs = cpuNs / 1e6 * 10000.0 / r.Sent;
    r.NetCpuPer10kMs = (cpuNs - IdleShare * wallNs) / 1e6 * 10000.0 / r.Sent;
  }
  if (cpu0.MainNs >= 0 && cpu1.MainNs >= 0 && MainIdleShare >= 0 && r.Sent > 0) {
    const double mainNs = static_cast<double>(cpu1.MainNs - cpu0.MainNs);
    r.NetMainCpuPer10kMs = (mainNs - MainIdleShare * wallNs) / 1e6 * 10000.0 / r.Sent;
  }
  if (cpu0.StatTicks >= 0 && cpu1.StatTicks > cpu0.StatTicks)
    r.SystemShare = static_cast<double>(cpu1.SysTicks - cpu0.SysTicks) /
                    static_cast<double>(cpu1.StatTicks - cpu0.StatTicks);
  return r;
}

bool TRunner::StartAndWarmUp(TRelay& Relay, TSender& Sender, const std::string& WorkDir,
                             std::string* Error) {
  FWorkDir = WorkDir;
  if (Relay.Start(FRecorder, WorkDir, Error) && Sender.Open(Relay.Address(), Relay.Port(), Error)) {
    // Under valgrind a relay can take a while after it listens before it plays.
    for (int tries = Relay.Wrapped() ? 20 : 1; tries > 0; --tries)
      if (WarmUp(Relay, Sender, Error)) return true;
  }
  Relay.Stop();
  return false;
}

TRelayResult TRunner::Run(TRelay& Relay, const std::string& WorkDir) {
  TRelayResult result;
  result.Relay = Relay.Name();
  std::string error = Relay.Missing();
  if (!error.empty()) {
    result.NotRun = error;
    return result;
  }
  TSender sender;
  if (!StartAndWarmUp(Relay, sender, WorkDir, &error)) {
    result.Command = Relay.Command();
    result.NotRun = error;
    return result;
  }
  result.Command = Relay.Command();
  std::fprintf(stderr, "  %s: idle %.0f s\n", Relay.Name(), FOptions.IdleSeconds);
  result.Idle = MeasureIdle(Relay);
  const double idleShare = std::max(0.0, result.Idle.CpuPercent / 100.0);
  const double mainIdleShare =
      result.Idle.MainCpuPercent < 0 ? -1 : result.Idle.MainCpuPercent / 100.0;
  for (double rate : FOptions.Rates) {
    std::fprintf(stderr, "  %s: %s for %.1f s\n", Relay.Name(), RateLabel(rate).c_str(),
                 FOptions.PhaseSeconds);
    const uint32_t count = static_cast<uint32_t>(rate * FOptions.PhaseSeconds + 0.5);
    result.Phases.push_back(RunPhase(Relay, sender, RateLabel(rate), rate, count, idleShare, mainIdleShare));
    if (!Relay.Alive()) break;
  }
  if (Relay.Alive() && FOptions.Burst > 0) {
    std::fprintf(stderr, "  %s: burst of %u\n", Relay.Name(), FOptions.Burst);
    result.Phases.push_back(RunPhase(Relay, sender, "burst", 0, FOptions.Burst, idleShare, mainIdleShare));
  }
  if (!Relay.Alive()) {
    result.NotRun = "ended during the run: " + Relay.Log();
    return result;
  }
  result.Memory = SampleMemory(Relay.Pid());
  Relay.Stop();
  return result;
}

void TRunner::Keep(const std::string& Path, const std::string& Name) {
  if (FOptions.ProfilesDir.empty() || Path.empty()) return;
  std::error_code ignored;
  std::filesystem::create_directories(FOptions.ProfilesDir, ignored);
  std::filesystem::copy_file(Path, FOptions.ProfilesDir + "/" + Name,
                             std::filesystem::copy_options::overwrite_existing, ignored);
}

void TRunner::CountWithStrace(TRelay& Relay, const std::string& WorkDir, TCounts& Counts) {
  TSender sender;
  std::string error;
  if (!StartAndWarmUp(Relay, sender, WorkDir, &error)) {
    Counts.NotRun += "strace: " + error + " ";
    return;
  }
  SleepMs(1000);
  TStraceCounter strace;
  const uint32_t count = Counts.Messages;
  // Idle first, for as long as the messages take: what it does anyway.
  int64_t t0 = MonotonicNs();
  if (!strace.Start(Relay.Pid(), WorkDir)) {
    Counts.NotRun += "strace could not attach ";
    Relay.Stop();
    return;
  }
  SleepMs(static_cast<int>(FOptions.CountSeconds * 1000));
  std::map<std::string, int64_t> idle = strace.Stop();
  const double idleS = static_cast<double>(MonotonicNs() - t0) / 1e9;
  const int parity = FParity++ & 1;
  FRecorder.Arm(parity);
  t0 = MonotonicNs();
  if (!strace.Start(Relay.Pid(), WorkDir)) {
    FRecorder.Disarm();
    Counts.NotRun += "strace could not attach ";
    Relay.Stop();
    return;
  }
  const TSendResult sent = sender.Send(count, Counts.Rate, parity, FSendNs.get());
  Drain(parity, sent.Sent);
  std::map<std::string, int64_t> busy = strace.Stop();
  Keep(WorkDir + "/strace.out", std::string(Relay.Name()) + ".strace");
  const double busyS = static_cast<double>(MonotonicNs() - t0) / 1e9;
  Relay.Stop();
  if (busy.empty() || idleS <= 0 || sent.Sent == 0) {
    Counts.NotRun += "strace counted nothing ";
    return;
  }
  Counts.IdleSyscallsPerS = static_cast<double>(idle["total"]) / idleS;
  for (const auto& [name, calls] : busy) {
    const double net = static_cast<double>(calls) - static_cast<double>(idle[name]) * busyS / idleS;
    Counts.SyscallsPerMessage[name] = net / sent.Sent;
  }
}

void TRunner::CountWithCallgrind(TRelay& Relay, const std::string& WorkDir, TCounts& Counts) {
  const std::string out = WorkDir + "/callgrind.out";
  Relay.SetWrapper({"valgrind", "--tool=callgrind", "--callgrind-out-file=" + out});
  TSender sender;
  std::string error;
  const bool started = StartAndWarmUp(Relay, sender, WorkDir, &error);
  Relay.SetWrapper({});
  if (!started) {
    Counts.NotRun += "callgrind: " + error + " ";
    return;
  }
  SleepMs(2000);
  // A control command takes effect somewhere within its run of about half a
  // second: its midpoint stands for when.
  auto mid = [](int64_t From) { return (From + MonotonicNs()) / 2; };
  int64_t t = MonotonicNs();
  const bool zeroed = CallgrindZero(Relay.Pid());
  const int64_t zeroAt = mid(t);
  SleepMs(static_cast<int>(FOptions.CountSeconds * 1000));
  t = MonotonicNs();
  const int64_t idle = CallgrindDump(Relay.Pid(), out);
  const int64_t idleAt = mid(t);
  const double idleS = static_cast<double>(idleAt - zeroAt) / 1e9;
  const int parity = FParity++ & 1;
  FRecorder.Arm(parity);
  const TSendResult sent = sender.Send(Counts.Messages, Counts.Rate, parity, FSendNs.get());
  Drain(parity, sent.Sent);
  t = MonotonicNs();
  std::string dump;
  const int64_t busy = CallgrindDump(Relay.Pid(), out, &dump);
  Keep(dump, std::string(Relay.Name()) + ".callgrind");
  const double busyS = static_cast<double>(mid(t) - idleAt) / 1e9;
  Relay.Stop();
  if (!zeroed || idle < 0 || busy < 0 || sent.Sent == 0) {
    Counts.NotRun += "callgrind gave no counts ";
    return;
  }
  Counts.IdleInstructionsPerS = static_cast<double>(idle) / idleS;
  // Every relay's JACK thread alone runs some 400,000 a second. Far fewer: valgrind
  // held the other threads while one blocked in a call it does not know may block
  // (io_uring_enter), and less idle work than there was would be taken off.
  if (Counts.IdleInstructionsPerS < 10000) {
    Counts.NotRun +=
        "callgrind: the other threads were held while idle (io_uring under valgrind); "
        "the instruction count is not comparable ";
    return;
  }
  Counts.InstructionsPerMessage =
      (static_cast<double>(busy) - Counts.IdleInstructionsPerS * busyS) / sent.Sent;
}

TCounts TRunner::Count(TRelay& Relay, const std::string& WorkDir) {
  TCounts c;
  c.Rate = FOptions.CountRate;
  c.Messages = static_cast<uint32_t>(FOptions.CountRate * FOptions.CountSeconds + 0.5);
  std::string missing = Relay.Missing();
  if (!missing.empty()) {
    c.NotRun = missing;
    return c;
  }
  if (TStraceCounter::Available())
    CountWithStrace(Relay, WorkDir, c);
  else
    c.NotRun += "strace is not installed ";
  CountWithCallgrind(Relay, WorkDir, c);
  return c;
}

}  // namespace relaybench
