#!/bin/sh
# Test of make-demo.sh: a demo built from a small manual folder of our own
# (three usable pages, a ".so" pointer and a page in the BSD document macros
# that must be left out), into a build folder of its own that borrows the
# real build's tools; the server started on it, with a search and a view by
# the client; then a second run that changes nothing.
#
#   make-demo_test.sh BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
t=$(mktemp -d)
srv=""
trap '[ -z "$srv" ] || kill "$srv" 2>/dev/null; rm -rf "$t"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$t/build" "$t/man/man1" "$t/man/man5"
ln -s "$build/bin" "$t/build/bin"
ln -s "$build/root" "$t/build/root"
page() { printf '.TH %s %s\n.SH NAME\n%s \\- %s\n.SH DESCRIPTION\n%s\n' "$1" "$2" "$1" "$3" "$4"; }
page alpha 1 "first tool" "Alpha counts wombats." | gzip > "$t/man/man1/alpha.1.gz"
page beta 1 "second tool" "Beta feeds wombats." | gzip > "$t/man/man1/beta.1.gz"
printf '.so man1/alpha.1\n' | gzip > "$t/man/man1/gamma.1.gz"
printf '.Dd May 1, 2020\n.Dt DELTA 1\n.Sh NAME\n' | gzip > "$t/man/man1/delta.1.gz"
page conf 5 "a file format" "Wombat settings." > "$t/man/man5/conf.5"

out=$(YM_DEMO_MANDIR=$t/man "$here/make-demo.sh" -b "$t/build" -s "1" -n 10 -a 5 2>"$t/log1") ||
    { cat "$t/log1" >&2; fail "first run"; }
data=$t/build/demo/data
[ "$out" = "$data" ] || fail "last line is the data folder: $out"
[ "$(ls "$t/build/demo/docs/man1")" = "$(printf 'alpha.1\nbeta.1')" ] || fail "man1 pages: $(ls "$t/build/demo/docs/man1")"
[ "$(ls "$t/build/demo/docs/man5")" = "conf.5" ] || fail "man5 pages"
grep -q '^\.TH alpha 1' "$t/build/demo/docs/man1/alpha.1" || fail "pages are decompressed"
for f in druskvers druskadmin druskhelp man1.cfg man5.cfg notes.cfg; do [ -s "$data/$f" ] || fail "no $f"; done
grep -qx '2|Section 1: User commands|x|y|man1' "$data/drusktree" || fail "tree node of section 1"
grep -qx '2|Section 5: File formats|x|y|man5' "$data/drusktree" || fail "tree node of section 5"
grep -qx '1|Documentation|x|y|notes' "$data/drusktree" || fail "tree node of the notes"
grep -q '^demo:' "$data/druskadmin" && grep -q '^staff:' "$data/druskadmin" || fail "sample user and group"
grep -q 'man1: 2 added' "$t/log1" || fail "man1 indexed: $(cat "$t/log1")"

# The demo served: ymsvr on a free loopback port (the next one when another
# program takes it first), the sample user searching and viewing a hit.
drusk() { "$build/bin/drusk" -s 127.0.0.1 -p "$port" -u demo -g staff "$@"; }
port=$("$build/bin/portseek" 20000 || :)
for try in 1 2 3; do
    YM_ROOT=$t/build/root FULSEARCH=$data "$build/bin/ymsvr" -p "$port" > "$t/srv.log" 2>&1 &
    srv=$!
    i=0
    until drusk search wombats > "$t/hits" 2> "$t/err"; do
        kill -0 "$srv" 2>/dev/null || break
        i=$((i + 1))
        [ "$i" -lt 300 ] || fail "the server did not answer: $(cat "$t/err")"
        sleep 0.1
    done
    kill -0 "$srv" 2>/dev/null && break
    wait "$srv" 2>/dev/null || :
    srv=""
    port=$("$build/bin/portseek" $((port + 1)) || :)
done
[ -n "$srv" ] || fail "the server did not start: $(cat "$t/srv.log")"
grep -q 'alpha' "$t/hits" && grep -q 'beta' "$t/hits" || fail "search hits: $(cat "$t/hits")"
drusk view -M brackets -d man1 -n 1 wombats > "$t/view" 2> "$t/err" || fail "view: $(cat "$t/err")"
grep -q '\[\[wombats\]\]' "$t/view" || fail "the hit is shown with its word marked: $(cat "$t/view")"
kill "$srv"
wait "$srv" 2>/dev/null || :
srv=""

YM_DEMO_MANDIR=$t/man "$here/make-demo.sh" -b "$t/build" -s "1" -n 10 -a 5 >/dev/null 2>"$t/log2" || fail "second run"
for db in man1 man5 notes; do
    grep -q "$db: 0 added, 0 changed, 0 removed" "$t/log2" || fail "second run changed $db: $(cat "$t/log2")"
done

# A smaller choice removes the pages it no longer takes.
YM_DEMO_MANDIR=$t/man "$here/make-demo.sh" -b "$t/build" -s "1" -n 1 >/dev/null 2>"$t/log3" || fail "third run"
[ "$(ls "$t/build/demo/docs/man1" | wc -l)" = 1 ] || fail "one page left in man1"
[ ! -e "$t/build/demo/docs/man5" ] && [ ! -e "$data/man5.cfg" ] || fail "section 5 left the demo"
echo "make-demo: ok"
