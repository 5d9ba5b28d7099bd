#!/bin/sh
# rsh of the platform root where the machine has no remote shell: runs the
# command here, as a remote shell would run it there, through a shell that
# reads the words as one command line. The host must be known to the
# machine's host table or name service; the spooler of the platform root
# records it (YM_RSH_HOST) with the job. The "remote" host's file system is
# the platform root: a command whose first word is an absolute path (quoted
# or not) that the root holds runs the root's program of that name.
#
#   rsh [-l user] [-n] [user@]host command ...
set -u
user=
while [ $# -gt 0 ]; do
    case $1 in
    -l) [ $# -ge 2 ] || { echo "rsh: option -l needs a value" >&2; exit 1; }; user=$2; shift 2 ;;
    -n) shift ;;
    -*) echo "rsh: unknown option \"$1\"" >&2; exit 1 ;;
    *) break ;;
    esac
done
[ $# -ge 1 ] || { echo "usage: rsh [-l user] [-n] [user@]host command" >&2; exit 1; }
host=$1
shift
case $host in *@*) user=${host%%@*}; host=${host#*@} ;; esac
[ $# -ge 1 ] || { echo "rsh: remote login is not supported here; give a command" >&2; exit 1; }
case $host in
'' | -*) echo "rsh: bad host name \"$host\"" >&2; exit 1 ;;
esac
if ! getent hosts "$host" > /dev/null 2>&1; then
    echo "rsh: $host: unknown host" >&2
    exit 1
fi
YM_RSH_HOST=$host YM_RSH_USER=$user
export YM_RSH_HOST YM_RSH_USER
root=$(cd "$(dirname "$0")/../.." && pwd)
cmd=$*
first=${cmd%%[ 	]*}
rest=${cmd#"$first"}
prog=$first
case $prog in \'/*\') prog=${prog#\'}; prog=${prog%\'} ;; esac
case $prog in
/*)
    if [ -f "$root$prog" ] && [ -x "$root$prog" ]; then
        first="'$(printf '%s' "$root$prog" | sed "s/'/'\\\\''/g")'"
    fi
    ;;
esac
exec /bin/sh -c "$first$rest"
