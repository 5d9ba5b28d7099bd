#!/bin/sh
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs every test.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build-asan -DYM_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build build-asan -j"$(nproc)"
cd build-asan
ctest --output-on-failure -j"$(nproc)" "$@"
