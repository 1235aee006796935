#!/bin/sh
# Starts Veltrano in ~/Veltrano (or $VELTRANO_FOLDER), seeding it with the sample files on first
# use. Options such as --help and --version go to the program as they are.
set -e
here="$(cd "$(dirname "$0")" && pwd)"
if [ $# -gt 1 ]; then exec "$here/Veltrano" "$@"; fi
case "${1:-}" in
  -*) exec "$here/Veltrano" "$@" ;;
esac
share="$here/../share/veltrano"
folder="${1:-${VELTRANO_FOLDER:-$HOME/Veltrano}}"
mkdir -p "$folder"
for sample in Kategorie.txt Start.wav; do
  [ -e "$folder/$sample" ] || cp "$share/$sample" "$folder/$sample"
done
exec "$here/Veltrano" "$folder"
