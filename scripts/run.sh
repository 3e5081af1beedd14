#!/usr/bin/env bash
# Installs what is missing, builds the module and the command-line host (default preset) and
# opens the capture window standalone.
# Arguments go to didev-evivod (try --help). Without a display it runs off screen for a few
# seconds, prints what it did and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh

cmake --preset default
cmake --build --preset default --target didev-evivod didev-host

echo "run.sh: built build/default/src/app/didev-evivod and build/default/src/app/didev-host"
exec ./build/default/src/app/didev-evivod "$@"
