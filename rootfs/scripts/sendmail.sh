#!/bin/sh
# sendmail of the platform root where the machine has no mail transfer
# agent: delivers each message into a local mail folder.
#
#   sendmail [-f sender | -fsender] [-i] [-oi] recipient ...
#
# The message is read from standard input and stored, whole, as the file
# ROOT/var/mail/msg.N, after two envelope lines of our own:
# "X-Envelope-From: SENDER" and one "X-Envelope-To: RECIPIENT" per
# recipient. No recipient, or one that looks like an option, is refused with
# status 64, as mail transfer agents refuse a bad command line.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
box=$root/var/mail
from=$(id -un 2>/dev/null)
while [ $# -gt 0 ]; do
    case $1 in
    -f) [ $# -ge 2 ] || { echo "sendmail: option -f needs a value" >&2; exit 64; }; from=$2; shift 2 ;;
    -f*) from=${1#-f}; shift ;;
    -i | -oi | -odi | -oem | -t) shift ;;
    --) shift; break ;;
    -*) echo "sendmail: unknown option \"$1\"" >&2; exit 64 ;;
    *) break ;;
    esac
done
[ $# -ge 1 ] || { echo "sendmail: no recipients" >&2; exit 64; }
for r in "$@"; do
    case $r in '' | -*) echo "sendmail: bad recipient \"$r\"" >&2; exit 64 ;; esac
done
mkdir -p "$box" || exit 75
n=$(ls "$box" | wc -l)
while :; do
    n=$((n + 1))
    f=$box/msg.$n
    (set -C; : > "$f") 2>/dev/null && break
    [ -d "$box" ] || exit 75
done
{
    echo "X-Envelope-From: $from"
    for r in "$@"; do echo "X-Envelope-To: $r"; done
    cat
} >> "$f" || { rm -f "$f"; exit 74; }
exit 0
