#!/bin/sh
# sendfax of the platform root: a fax service that files each job instead of
# dialling.
#
#   sendfax [-h host] -d number [-f from] [-n] [-D] file ...
#
# A job becomes the folder ROOT/var/spool/fax/N holding the files, in order,
# as 1, 2, ... and "control" (number, from, host, files). Answers like a fax
# service: "request id is N (group id N) for host HOST (K files)". A number
# without digits or with characters no fax number has, or a missing or
# empty file, is refused with status 1.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
spool=$root/var/spool/fax
host= number= from=$(id -un 2>/dev/null)
while [ $# -gt 0 ]; do
    case $1 in
    -h | -d | -f)
        [ $# -ge 2 ] || { echo "sendfax: option $1 needs a value" >&2; exit 1; }
        case $1 in -h) host=$2 ;; -d) number=$2 ;; -f) from=$2 ;; esac
        shift 2 ;;
    -n | -D | -N | -R) shift ;;
    --) shift; break ;;
    -*) echo "sendfax: unknown option \"$1\"" >&2; exit 1 ;;
    *) break ;;
    esac
done
case $number in
*[0-9]*) ;;
*) echo "sendfax: no fax number given" >&2; exit 1 ;;
esac
case $number in
*[!0-9\ +\(\)./-]*) echo "sendfax: bad fax number \"$number\"" >&2; exit 1 ;;
esac
[ $# -ge 1 ] || { echo "sendfax: nothing to send" >&2; exit 1; }
for f in "$@"; do
    [ -f "$f" ] && [ -s "$f" ] || { echo "sendfax: $f: missing or empty" >&2; exit 1; }
done
mkdir -p "$spool" || exit 1
n=$(ls "$spool" | wc -l)
while :; do
    n=$((n + 1))
    mkdir "$spool/$n" 2>/dev/null && break
    [ -d "$spool" ] || exit 1
done
k=0
for f in "$@"; do
    k=$((k + 1))
    cp -- "$f" "$spool/$n/$k" || { rm -rf "$spool/$n"; echo "sendfax: cannot queue $f" >&2; exit 1; }
done
{
    echo "number=$number"
    echo "from=$from"
    echo "host=$host"
    echo "files=$k"
} > "$spool/$n/control"
echo "request id is $n (group id $n) for host ${host:-localhost} ($k files)"
exit 0
