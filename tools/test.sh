#!/usr/bin/env bash
# Tovinel: runs every test: native unit tests, checks of the built executable, and the Wine runs.
# Installs what is missing first (tools/setup.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
"$root/tools/build.sh" all
ctest --test-dir "$root/build/native" --output-on-failure
