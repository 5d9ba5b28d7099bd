#!/bin/sh
# faxcover of the platform root: writes a plain-text cover sheet to standard
# output.
#
#   faxcover [-f from] [-n number] [-t to] [-l location] [-v voice]
#            [-c comments] [-p pages]
set -u
from= number= to= loc= voice= comments= pages=
while [ $# -gt 0 ]; do
    [ $# -ge 2 ] || { echo "faxcover: option $1 needs a value" >&2; exit 1; }
    case $1 in
    -f) from=$2 ;;
    -n) number=$2 ;;
    -t) to=$2 ;;
    -l) loc=$2 ;;
    -v) voice=$2 ;;
    -c) comments=$2 ;;
    -p) pages=$2 ;;
    *) echo "faxcover: unknown option \"$1\"" >&2; exit 1 ;;
    esac
    shift 2
done
printf 'FAX COVER SHEET\n\n'
printf 'To:       %s\n' "$to"
printf 'Fax:      %s\n' "$number"
printf 'Company:  %s\n' "$loc"
printf 'Voice:    %s\n' "$voice"
printf 'From:     %s\n' "$from"
printf 'Pages:    %s\n' "$pages"
printf 'Date:     %s\n\n' "$(date '+%Y-%m-%d %H:%M')"
printf 'Comments: %s\n' "$comments"
