#!/usr/bin/env bash
# Installs what the tests need, builds everything with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPD_WERROR=ON >/dev/null
cmake --build build/test
ctest --test-dir build/test --output-on-failure --parallel 2
