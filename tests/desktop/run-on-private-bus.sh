#!/usr/bin/env bash
# Runs PROGRAM [ARGS] on a private D-Bus daemon that is both its session and its system bus, so
# the stand-ins of the desktop's services are reached on either. Exit 77 (skipped) when
# dbus-run-session is missing.
set -uo pipefail
command -v dbus-run-session >/dev/null || { echo "skipped: dbus-run-session is not installed"; exit 77; }
config="$(dirname "$(realpath "${BASH_SOURCE[0]}")")/private-bus.conf"
unset DBUS_STARTER_ADDRESS DBUS_STARTER_BUS_TYPE
exec dbus-run-session --config-file="$config" -- \
  bash -c 'export DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS"; exec "$@"' run "$@"
