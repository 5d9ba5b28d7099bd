#!/bin/sh
# Builds the project in build/ and starts the server in the foreground.
# PORT (default 6004) chooses the port.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build
cmake --build build -j"$(nproc)"
exec build/bin/ymsvr -p "${PORT:-6004}"
