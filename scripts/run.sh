#!/bin/sh
# Builds the project in build/, brings up the demo knowledge base (manual
# pages and notes of this machine, indexed into build/demo; see
# demo/make-demo.sh) and starts the server on it in the foreground.
#
#   scripts/run.sh [make-demo options]     e.g. -n 1000, or -a 8 for all of
#                                          section 8
# PORT (default 6004) chooses the port. The server's external programs
# (formatters, spooler, mail, fax tools) are those of the platform root
# build/root: print jobs, mail and faxes of the stand-ins land in
# build/root/var/spool/lp, build/root/var/mail and build/root/var/spool/fax.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build
cmake --build build -j"$(nproc)"
# make-demo prints the data folder as its only line on standard output; a
# failed build of the demo stops here rather than serve nothing.
data=$(demo/make-demo.sh -b build "$@")
[ -n "$data" ] && [ -d "$data" ] || { echo "run: the demo knowledge base was not built" >&2; exit 1; }
echo "run: serving $data on port ${PORT:-6004}" >&2
export FULSEARCH="$data" YM_ROOT="$PWD/build/root"
unset FULPATH
exec build/bin/ymsvr -p "${PORT:-6004}"
