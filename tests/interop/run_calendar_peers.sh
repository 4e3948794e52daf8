#!/usr/bin/env bash
# Runs calendar_peers.py: our program and the calendar programs khal and
# todoman, as black-box peers, over one vdir folder.
#
#   run_calendar_peers.sh PROGRAM
#
# Exits 77 (skipped) where python3, khal or todoman is missing.
set -euo pipefail
# The program serves without its panel here.
export LUMENARY_NO_PANEL=1

for command in python3 khal; do
  if ! command -v "$command" >/dev/null 2>&1; then
    echo "SKIPPED: $command is needed for the khal and todoman interop test and was not found"
    exit 77
  fi
done
# Debian installs todoman's command as "todoman"; upstream calls it "todo".
todo=$(command -v todo || command -v todoman || true)
if [[ -z "$todo" ]]; then
  echo "SKIPPED: todoman (todo) is needed for the khal and todoman interop test and was not found"
  exit 77
fi

exec python3 "$(dirname "$0")/calendar_peers.py" "$1" "$todo"
