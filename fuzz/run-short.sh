#!/usr/bin/env bash
# Runs every fuzz target for a short, fixed number of executions on its committed corpus (no
# new corpus files are written into the repository). Any finding fails: the input that caused
# it is kept in build-fuzz/findings/. Builds the targets first (fuzz/build.sh).
# Usage: fuzz/run-short.sh [FACTOR]   (scales the runs below; default 1)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$(pwd)"
factor="${1:-1}"
# Runs per target, about 10 s each on a small machine; the grid target drives a real widget
# and the key store goes through files and locks, so they get fewer.
declare -A runs=([grid_file]=1500 [key_store]=3000)
default_runs=40000
fuzz/build.sh

source "$root/fuzz/env.sh"

failed=()
for target in $(ls fuzz/corpus); do
  bin="build-fuzz/fuzz/fuzz_$target"
  # A fixed seed and a fixed count of runs: the same executions every time, whatever the
  # machine's speed. The corpus is copied so that the fuzzer's additions stay outside the tree.
  mkdir -p "$work/corpus/$target"
  cp fuzz/corpus/"$target"/* "$work/corpus/$target/"
  start=$SECONDS
  n=$(( ${runs[$target]:-$default_runs} * factor ))
  if (cd "$work" && "$root/$bin" -seed=1 -runs="$n" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$out/$target-" "$work/corpus/$target") >"$work/$target.log" 2>&1; then
    echo "fuzz $target: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$work/$target.log" | grep -o '[0-9]*$') runs, $((SECONDS - start)) s, no finding"
  else
    echo "fuzz $target: FINDING" >&2
    tail -40 "$work/$target.log" >&2
    failed+=("$target")
  fi
done
if ((${#failed[@]})); then
  echo "fuzz findings in: ${failed[*]} (inputs in $out)" >&2
  exit 1
fi
