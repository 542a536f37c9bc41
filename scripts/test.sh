#!/usr/bin/env bash
# Installs what the tests need, builds everything with warnings as errors and runs every test, in
# the delivered build and in the one with the TWAIN path switched on.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPD_WERROR=ON >/dev/null
cmake --build build/test
ctest --test-dir build/test --output-on-failure --parallel 2

# The other build: scanning through the imaging library's TWAIN path first. Everything is built
# (warnings as errors hold there too); the tests that depend on the switch are labelled twain.
cmake -S . -B build/test-twain -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPD_WERROR=ON -DUseTwain=ON >/dev/null
cmake --build build/test-twain
ctest --test-dir build/test-twain --output-on-failure --parallel 2 -L twain
