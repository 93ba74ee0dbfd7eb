#!/usr/bin/env bash
# Tovinel: runs every test: native unit tests, checks of the built executable, and the Wine runs.
# Installs what is missing first (tools/setup.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
"$root/tools/build.sh" all
# As many tests at once as there are cores: the Wine tests take turns (their resource lock), and
# the sanitizer build, the fuzzers and the Wine runs overlap.
ctest --test-dir "$root/build/native" --output-on-failure -j "$(nproc 2>/dev/null || echo 2)"
