#!/bin/sh
# lp of the platform root where the machine has no print system: a small
# spooler that files each job instead of printing it.
#
#   lp [-d printer] [-t title] [-n copies] [-o option] [-s] [file ...]
#
# Known printers are the lines of ROOT/etc/lp/printers (the first is the
# default; LPDEST chooses another). A job becomes the folder
# ROOT/var/spool/lp/PRINTER-N with "control" (printer, title, copies,
# options, the host the job came through, user, files) and data.1, data.2,
# ... (standard input when no file is named). Answers like a spooler:
# "request id is PRINTER-N (K file(s))"; an unknown printer, an unreadable
# file or empty input is refused with status 1.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
spool=$root/var/spool/lp
printers=$root/etc/lp/printers
dest=${LPDEST:-}
title=
copies=1
options=
silent=
need() { [ $# -ge 2 ] || { echo "lp: option $1 needs a value" >&2; exit 1; }; }
while [ $# -gt 0 ]; do
    case $1 in
    -d) need "$@"; dest=$2; shift 2 ;;
    -d*) dest=${1#-d}; shift ;;
    -t) need "$@"; title=$2; shift 2 ;;
    -t*) title=${1#-t}; shift ;;
    -n) need "$@"; copies=$2; shift 2 ;;
    -n*) copies=${1#-n}; shift ;;
    -o) need "$@"; options="$options $2"; shift 2 ;;
    -o*) options="$options ${1#-o}"; shift ;;
    -s) silent=1; shift ;;
    -c | -m | -w) shift ;;
    --) shift; break ;;
    -) break ;;
    -*) echo "lp: unknown option \"$1\"" >&2; exit 1 ;;
    *) break ;;
    esac
done
if [ -z "$dest" ] && [ -r "$printers" ]; then
    dest=$(grep -v '^#' "$printers" | grep -v '^$' | head -n 1)
fi
if [ -z "$dest" ] || ! grep -v '^#' "$printers" 2>/dev/null | grep -qxF -- "$dest"; then
    echo "lp: The printer or class does not exist." >&2
    exit 1
fi
case $copies in '' | *[!0-9]*) echo "lp: bad number of copies \"$copies\"" >&2; exit 1 ;; esac

mkdir -p "$spool" || exit 1
n=$(ls "$spool" | wc -l)
while :; do
    n=$((n + 1))
    job=$dest-$n
    mkdir "$spool/$job" 2>/dev/null && break
    [ -d "$spool" ] || exit 1
done
fail() {
    echo "lp: $1" >&2
    rm -rf "$spool/$job"
    exit 1
}
k=0
files=
if [ $# -eq 0 ] || [ "$1" = - ]; then
    cat > "$spool/$job/data.1" || fail "cannot read standard input"
    [ -s "$spool/$job/data.1" ] || fail "standard input is empty, so no job has been sent."
    k=1
    files=-
else
    for f in "$@"; do
        k=$((k + 1))
        [ -f "$f" ] && [ -r "$f" ] || fail "unable to access \"$f\""
        cat -- "$f" > "$spool/$job/data.$k" || fail "unable to access \"$f\""
        files="$files $f"
    done
fi
{
    echo "printer=$dest"
    echo "title=$title"
    echo "copies=$copies"
    echo "options=${options# }"
    echo "host=${YM_RSH_HOST:-}"
    echo "user=$(id -un 2>/dev/null)"
    echo "files=${files# }"
} > "$spool/$job/control"
[ -n "$silent" ] || echo "request id is $job ($k file(s))"
exit 0
