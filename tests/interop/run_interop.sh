#!/usr/bin/env bash
# Runs an interop test against the public TypeScript MCP SDK, installing the
# SDK from the lock file into a folder of the build.
#
#   run_interop.sh SCRIPT PROGRAM WORK [ARG...]  node runs SCRIPT, an SDK client, against our PROGRAM
#   run_interop.sh --drive SCRIPT PROGRAM WORK   our PROGRAM, a client, starts node running SCRIPT, an SDK server
#
# SCRIPT is a file of this folder, or an absolute path (the benchmarks keep
# their SDK scripts beside them). Further arguments go to the SDK client.
#
# Exits 77 (skipped) where node or npm is missing.
set -euo pipefail

if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  echo "SKIPPED: node and npm are needed for the TypeScript MCP SDK interop tests and were not found"
  exit 77
fi

drive=false
if [[ "${1:-}" == "--drive" ]]; then
  drive=true
  shift
fi
script=$1
program=$2
work=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)

mkdir -p "$work"
if [[ "$script" = /* ]]; then
  cp "$script" "$work/"
  script=$(basename "$script")
else
  cp "$here/$script" "$work/"
fi
# Interop tests may run at once; one of them installs, the others wait.
(
  flock 9
  cd "$work"
  if ! cmp -s "$here/package-lock.json" node_modules/.lumenary-lock 2>/dev/null; then
    cp "$here/package.json" "$here/package-lock.json" .
    npm ci --no-audit --no-fund --loglevel=error >/dev/null
    cp package-lock.json node_modules/.lumenary-lock
  fi
) 9>"$work/.install-lock"

cd "$work"
if $drive; then
  exec "$program" "$(command -v node)" "$work/$script"
fi
exec node "$script" "$program" "$@"
