#!/usr/bin/env bash
# Runs the program on a private X server and a private session bus with the accessibility bus
# switched on, then drives it with the given script. Exit 77 (skipped) when the tools are missing.
set -uo pipefail
program="$(realpath "$1")"
script="$(realpath "$2")"

python=/usr/bin/python3  # the system Python, where Debian puts pyatspi
for tool in Xvfb dbus-run-session "$python"; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
"$python" -c "import pyatspi" 2>/dev/null || { echo "skipped: python3-pyatspi is not installed"; exit 77; }
launcher=""
for candidate in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
  [[ -x "$candidate" ]] && launcher="$candidate"
done
[[ -n "$launcher" ]] || { echo "skipped: at-spi2-core is not installed"; exit 77; }

scratch="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$scratch"
}
trap cleanup EXIT

# A display of our own: Xvfb picks a free number and tells it.
exec 3> "$scratch/display"
# -noreset: the server must not reset when the bus launcher, its first client, lets go, or the
# program may find no display and the launcher's bus address on the root window is gone.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -s "$scratch/display" ]] && break; sleep 0.1; done
[[ -s "$scratch/display" ]] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -1 "$scratch/display")"

mkdir -p "$scratch/work" "$scratch/config" "$scratch/runtime"
chmod 700 "$scratch/runtime"
printf 'M\r\nF\r\n' > "$scratch/work/Kategorie.txt"
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime"
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 NO_AT_BRIDGE=0
export ASAN_OPTIONS="detect_leaks=0"  # the program is killed at the end, not closed

dbus-run-session -- bash -c '
  "$1" --launch-immediately >/dev/null 2>&1 &
  launcher=$!
  (cd "$2/work" && exec "$3") > "$2/program.log" 2>&1 &
  program=$!
  timeout 90 "$5" "$4"
  rc=$?
  kill $program $launcher 2>/dev/null
  wait $program $launcher 2>/dev/null
  if [[ $rc -ne 0 ]]; then echo "--- program output:"; cat "$2/program.log"; fi
  exit $rc
' run "$launcher" "$scratch" "$program" "$script" "$python"
