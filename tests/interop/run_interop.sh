#!/usr/bin/env bash
# Runs one interop client against one of our server programs, installing the
# public TypeScript MCP SDK from the lock file into a folder of the build.
# Exits 77 (skipped) where node or npm is missing.
set -euo pipefail

if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  echo "SKIPPED: node and npm are needed for the TypeScript MCP SDK interop tests and were not found"
  exit 77
fi

script=$1
server=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)

mkdir -p "$work"
cp "$here/package.json" "$here/package-lock.json" "$here/$script" "$work/"
cd "$work"
if ! cmp -s package-lock.json node_modules/.lumenary-lock 2>/dev/null; then
  npm ci --no-audit --no-fund --loglevel=error >/dev/null
  cp package-lock.json node_modules/.lumenary-lock
fi
exec node "$script" "$server"
