#!/bin/sh
# Starts Veltrano in ~/Veltrano (or $VELTRANO_FOLDER, or the folder given), seeding it with the
# sample files on first use. Options such as --help and --version go to the program as they are.
# veltrano.sh starts its build through this launcher too, naming its program and sample folder in
# VELTRANO_PROGRAM and VELTRANO_SAMPLES, so both seed the same files.
set -e
here="$(cd "$(dirname "$0")" && pwd)"
program="${VELTRANO_PROGRAM:-$here/Veltrano}"
if [ $# -gt 1 ]; then exec "$program" "$@"; fi
case "${1:-}" in
  -*) exec "$program" "$@" ;;
esac
samples="${VELTRANO_SAMPLES:-$here/../share/veltrano}"
folder="${1:-${VELTRANO_FOLDER:-$HOME/Veltrano}}"
mkdir -p "$folder"
# The categories, the start sound and the participant list example the README points to.
for sample in Kategorie.txt Start.wav Teilnehmer-Beispiel.txt; do
  [ -e "$folder/$sample" ] || cp "$samples/$sample" "$folder/$sample"
done
exec "$program" "$folder"
