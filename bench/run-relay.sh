#!/usr/bin/env bash
# Relay benchmark: the minimal relay, VORLANX and qmidinet side by side on a
# private JACK server, in interleaved rounds, in network and mount namespaces
# of its own (needs root), with counts of system calls (strace, perf) and
# instructions (callgrind). Prints the tables and writes them to
# bench/RESULTS.md. $1: the build directory.
# RELAY_BENCH_ARGS adds options, e.g. "--periods 256 --seconds 1 --idle 2 --rounds 1".
set -euo pipefail
build="${1:-build}"
here="$(cd "$(dirname "$0")" && pwd)"
cmake --build "$build" --target relay_bench minimal_relay -j2 >/dev/null
# The relay program is measured once it is part of the build; until then the
# tables show it as not built.
cmake --build "$build" --target vorlanx -j2 >/dev/null 2>&1 || true
# A raised priority (inherited by the JACK server and the relays alike) keeps
# other work on a shared machine from dominating the latency tails.
# shellcheck disable=SC2086
exec nice -n -10 "$build/bench/relay/relay_bench" --vorlanx "$build/vorlanx" \
  --minimal "$build/bench/relay/minimal_relay" --results "$here/RESULTS.md" ${RELAY_BENCH_ARGS:-}
