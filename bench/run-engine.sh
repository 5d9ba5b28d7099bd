#!/bin/sh
# The engine benchmark in one command: installs the corpus package, builds
# with optimisation in build/ (or $BUILD), and prints the table of ratios.
#   bench/run-engine.sh [--reps N] [--index-runs N] [--reuse 1] [--only TEXT]
set -eu
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
sh scripts/setup.sh --bench
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DYM_SANITIZE=OFF >/dev/null
cmake --build "$BUILD" -j2 --target engine_bench ftindex rootfs >/dev/null
YM_ROOT="$PWD/$BUILD/root" exec "$BUILD/bin/engine_bench" \
    --source /usr/share/doc/linux-doc-6.1/Documentation \
    --work "$PWD/$BUILD/bench-engine" \
    --ftindex "$PWD/$BUILD/bin/ftindex" "$@"
