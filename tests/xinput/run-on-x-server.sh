#!/usr/bin/env bash
# Runs a test program on a private X server of its own, on the xcb platform, so that presses
# come from a real window system with its own event clock. Exit 77 (skipped) without Xvfb.
set -uo pipefail
command -v Xvfb >/dev/null || { echo "skipped: Xvfb is not installed"; exit 77; }

scratch="$(mktemp -d)"
server=""
cleanup() {
  [[ -n "$server" ]] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

# Xvfb picks a free display number and tells it.
exec 3> "$scratch/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
server=$!
for _ in $(seq 100); do [[ -s "$scratch/display" ]] && break; sleep 0.1; done
[[ -s "$scratch/display" ]] || { echo "Xvfb did not start"; exit 1; }
exec 3>&-

mkdir -p "$scratch/runtime"
chmod 700 "$scratch/runtime"
export DISPLAY=":$(head -1 "$scratch/display")"
export XDG_RUNTIME_DIR="$scratch/runtime"
export QT_QPA_PLATFORM=xcb VELTRANO_TEST_ON_DISPLAY=1
# A session bus of its own where there is one, so nothing starts a bus that outlives the test.
if command -v dbus-run-session >/dev/null; then
  dbus-run-session -- "$@"
else
  "$@"
fi
