#!/bin/sh
# Installs everything the project needs on a Debian machine. Safe to run any
# number of times: it only calls apt-get when a package is missing.
set -eu

PACKAGES="
build-essential
cmake
pkg-config
googletest
libgtest-dev
libgmock-dev
libsqlite3-dev
sqlite3
groff-base
groff
bsdextrautils
gzip
procps
iproute2
"

# Only for the benchmarks (scripts/setup.sh --bench): a real corpus.
BENCH_PACKAGES="
linux-doc-6.1
"
if [ "${1:-}" = "--bench" ]; then PACKAGES="$PACKAGES $BENCH_PACKAGES"; fi

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
fi

# The server keeps its lock-info file and temporary files in /usr/tmp, which
# a stock Debian machine lacks.
if [ ! -d /usr/tmp ]; then
    $SUDO mkdir -p /usr/tmp
    $SUDO chmod 1777 /usr/tmp
fi
