#!/usr/bin/env bash
# The main job, in one command on a fresh machine: installs what is missing, builds the
# release preset (library, tool and examples) and shows a sample session: the tool's view
# of its built-in sample token, that token's session policy, and the C example host.
# Usage: scripts/run.sh [build-dir]    (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}

bash scripts/setup.sh
log=$(mktemp)
trap 'rm -f "$log"' EXIT
echo "run.sh: building the release preset in $build"
cmake --preset release -B "$build" >"$log" 2>&1 && cmake --build "$build" -j "$(nproc)" >>"$log" 2>&1 ||
  { cat "$log" >&2; echo "run.sh: the build failed" >&2; exit 1; }

show() {
  printf '\n$ %s\n' "$1"
  bash -c "$1"
}
PATH="$(cd "$build/tools" && pwd):$PATH"
export PATH
show "vlauth version && vlauth selftest"
show "vlauth sample-token | vlauth inspect"
show "vlauth sample-token | vlauth policy --pretty --music https://music.example.org"
show "vlauth inspect --now 2100-01-04T08:00:00Z \"\$(vlauth sample-token)\""
show "$build/examples/sample_session"
