#!/usr/bin/env bash
# Installs the Debian packages of the given lists (default: tools/packages.txt) that are missing.
# A line is a package name, optionally followed by conditions:
#   no-recommends          install it without its recommended packages
#   if-installed:PKG       only where PKG is already installed
#   unless-installed:PKG   only where PKG is not installed
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
(($#)) || set -- packages.txt

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
missing_norec=()
for list in "$@"; do
  while read -r pkg flags; do
    [[ -z "$pkg" || "$pkg" == \#* ]] && continue
    norec=0 wanted=1
    for flag in $flags; do
      case "$flag" in
        no-recommends) norec=1 ;;
        if-installed:*) installed "${flag#if-installed:}" || wanted=0 ;;
        unless-installed:*) installed "${flag#unless-installed:}" && wanted=0 ;;
        *) echo "ensure-packages: unknown condition '$flag' for $pkg in $list" >&2; exit 1 ;;
      esac
    done
    ((wanted)) || continue
    installed "$pkg" && continue
    if ((norec)); then missing_norec+=("$pkg"); else missing+=("$pkg"); fi
  done < "$here/$list"
done

if ((${#missing[@]} + ${#missing_norec[@]})); then
  echo "Installing: ${missing[*]} ${missing_norec[*]}"
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  apt=("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get)
  "${apt[@]}" update -qq
  ((${#missing[@]})) && "${apt[@]}" install -y -qq "${missing[@]}"
  ((${#missing_norec[@]})) && "${apt[@]}" install -y -qq --no-install-recommends "${missing_norec[@]}"
fi
exit 0
