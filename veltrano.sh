#!/usr/bin/env bash
# Builds Veltrano (Release) and starts it in a race folder (default ./race), seeded with the
# same samples as the installed program's launcher, which does the seeding. Options such as
# --help and --version go to the program as they are, and then no folder is made.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

program="$("$root/tools/build-program.sh" --target Veltrano)"

if (($# > 1)) || [[ "${1:-}" == -* ]]; then
  exec "$program" "$@"
fi

exec env VELTRANO_PROGRAM="$program" VELTRANO_SAMPLES="$root/data" \
  "$root/data/veltrano-launcher.sh" "${1:-$root/race}"
