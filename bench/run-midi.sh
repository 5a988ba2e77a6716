#!/usr/bin/env bash
# MIDI output benchmark: throughput and latency into a private JACK server.
# Usage: bench/run-midi.sh [build dir]
set -euo pipefail
build="${1:-build}"
bench="$build/bench/midi/midi_bench"
if [ ! -x "$bench" ]; then
  echo "run-midi: $bench not built" >&2
  exit 1
fi
exec "$bench"
