# Shared by the scripts that drive a Windows tool under Wine from Linux.
# Sourced with WINE_RUN set to scripts/wine-run; each script works in a scratch
# folder of its own ($work) that goes when it ends, and stops what it started.
set -uo pipefail

work=$(mktemp -d "${TMPDIR:-/tmp}/vx-wine-test.XXXXXX")
started=()
cleanup() {
  for p in "${started[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${started[@]}"; do wait "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect_eq WHAT EXPECTED ACTUAL
expect_eq() {
  if [ "$2" != "$3" ]; then fail "$1: expected [$2], got [$3]"; fi
}

# expect_in WHAT NEEDLE HAYSTACK
expect_in() {
  case "$3" in *"$2"*) ;; *) fail "$1: [$2] not in [$3]" ;; esac
}

# The file's text without the CRs a Windows program's text output has.
text() { tr -d '\r' <"$1" 2>/dev/null; }

# wait_for FILE TEXT [SECONDS]: until FILE holds TEXT (bounded).
wait_for() {
  local deadline=$((SECONDS + ${3:-15}))
  until text "$1" | grep -qF -- "$2"; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.05
  done
}

# wait_exit PID [SECONDS]: its exit status, or 124 (and it is killed) when it
# has not ended in time.
wait_exit() {
  local deadline=$((SECONDS + ${2:-15}))
  while kill -0 "$1" 2>/dev/null; do
    if [ $SECONDS -ge $deadline ]; then
      kill -9 "$1" 2>/dev/null
      wait "$1" 2>/dev/null
      return 124
    fi
    sleep 0.05
  done
  wait "$1"
}

finish() {
  [ "$failures" -eq 0 ] && echo "all checks passed" && exit 0
  echo "$failures check(s) failed" >&2
  exit 1
}

# socat_listen LOG SOCAT-ARGS...: starts socat -d -d with its listening address
# on a free loopback port: each argument's "PORT" becomes a port tried at
# random until one binds (a port someone else has makes socat exit, and the
# next is tried), so no port is guessed free and then lost. Sets $port and
# $pid; false when none could be had.
socat_listen() {
  local log=$1 try a
  shift
  for try in $(seq 20); do
    port=$((20000 + RANDOM % 30000))
    local args=()
    for a in "$@"; do args+=("${a//PORT/$port}"); done
    socat -d -d "${args[@]}" 2>"$log" &
    pid=$!
    local deadline=$((SECONDS + 10))
    while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do
      if grep -qE "listening on|receiving on|starting data transfer loop" "$log"; then
        started+=("$pid")
        return 0
      fi
      sleep 0.05
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  return 1
}
