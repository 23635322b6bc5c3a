#!/usr/bin/env bash
# The whole test suite, on a fresh machine in one command: installs what is missing,
# configures and builds the dev preset, and runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)"
ctest --preset dev
