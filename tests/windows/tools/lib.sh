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
