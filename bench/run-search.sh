#!/bin/sh
# The search benchmark in one command: installs the corpus package, builds
# with optimisation in build/ (or $BUILD), indexes the corpus (once; pass
# --reuse 0 to index it again) and prints the server's time against the
# engine's for each query, with the ratio.
#   bench/run-search.sh [--reps N] [--reuse 0|1]
set -eu
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
sh scripts/setup.sh --bench
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DYM_SANITIZE=OFF >/dev/null
cmake --build "$BUILD" -j2 --target search_bench ymsvr ftindex rootfs >/dev/null
YM_ROOT="$PWD/$BUILD/root" exec "$BUILD/bin/search_bench" \
    --source /usr/share/doc/linux-doc-6.1/Documentation \
    --work "$PWD/$BUILD/bench-search" \
    --ftindex "$PWD/$BUILD/bin/ftindex" \
    --ymsvr "$PWD/$BUILD/bin/ymsvr" --reuse 1 "$@"
