#!/usr/bin/env bash
# Runs recurrence_peer.py: our expansion of repeat rules against
# python-dateutil's.
#
#   run_recurrence_peer.sh DRIVER
#
# Exits 77 (skipped) where python3 or python3-dateutil is missing.
set -euo pipefail
if ! command -v python3 >/dev/null 2>&1 || ! python3 -c 'import dateutil.rrule, zoneinfo' >/dev/null 2>&1; then
  echo "SKIPPED: python3 with dateutil is needed for the repeat rule test and was not found"
  exit 77
fi
exec python3 "$(dirname "$0")/recurrence_peer.py" "$1"
