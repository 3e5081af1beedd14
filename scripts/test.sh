#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the strict default build first,
# then the sanitizer build with the unit tests.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh

cmake --preset ci
cmake --build --preset ci
ctest --preset ci

cmake --preset asan
cmake --build --preset asan
ctest --preset asan
