#!/usr/bin/env bash
# Builds the test suites with sanitizers into build-asan/ and runs them headless.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
root="$(pwd)"

tools/ensure-packages.sh packages.txt packages-test.txt

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVELTRANO_TESTS=ON -DVELTRANO_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)"

# Headless, with a private settings folder and working folder, under the C locale.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/config" "$scratch/work" "$scratch/runtime"
chmod 700 "$scratch/runtime"
export QT_QPA_PLATFORM=offscreen
export XDG_CONFIG_HOME="$scratch/config"
export XDG_RUNTIME_DIR="$scratch/runtime"
export LC_ALL=C LANG=C
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export VELTRANO_TEST_WORKDIR="$scratch/work"

cd build-asan
ctest --output-on-failure -j"$(nproc)"

# The README's main command, through the same script, build folder and executable path as a
# normal start; then the two Debian packages made from that build (the program and its
# spreadsheet module), installed, started and removed again.
cd "$root"
tests/commands/check-main-command.sh
packages="$(tools/make-deb.sh)"
readarray -t debs <<<"$packages"
tests/package/check-deb.sh "${debs[@]}"

# Every fuzz target for a fixed count of runs on its seed corpus: a reader that regressed fails
# here. A clang build of its own, in build-fuzz/.
fuzz/run-short.sh
