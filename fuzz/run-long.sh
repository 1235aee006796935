#!/usr/bin/env bash
# Runs every fuzz target long: 10^6 executions or 10 minutes, whichever comes first, growing
# a working corpus in build-fuzz/corpus/ (seeded from fuzz/corpus/). Findings go to
# build-fuzz/findings/. Prints executions and coverage per target.
# Usage: fuzz/run-long.sh [TARGET...]   (MAX_TIME=seconds and RUNS=n override the limits)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$(pwd)"
fuzz/build.sh >/dev/null

targets=("$@")
((${#targets[@]})) || targets=($(ls fuzz/corpus))
source "$root/fuzz/env.sh"

status=0
for target in "${targets[@]}"; do
  corpus="$root/build-fuzz/corpus/$target"
  mkdir -p "$corpus"
  log="$root/build-fuzz/long-$target.log"
  start=$SECONDS
  if (cd "$work" && "$root/build-fuzz/fuzz/fuzz_$target" -seed=1 -runs="${RUNS:-1000000}" \
        -max_total_time="${MAX_TIME:-600}" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$out/$target-" "$corpus" "$root/fuzz/corpus/$target") >"$log" 2>&1; then
    verdict="no finding"
  else
    verdict="FINDING (see $log)"
    status=1
  fi
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  cov=$(grep -E '^#[0-9]+' "$log" | tail -1 | grep -o 'cov: [0-9]* ft: [0-9]*' || echo "cov: ?")
  echo "$target: $execs executions in $((SECONDS - start)) s, $cov, corpus $(ls "$corpus" | wc -l) files, $verdict"
done
exit $status
