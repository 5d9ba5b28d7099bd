#!/bin/sh
# Builds the demo knowledge base from this machine's own documentation:
# manual pages (decompressed into a document folder as man documents, one
# database per section) and a few plain-text documents, indexed with the
# project's ftindex, plus the server's configuration files: a directory
# tree with the sections as nodes, an admin file with a sample user and
# group, help and version texts.
#
#   demo/make-demo.sh [-b BUILD] [-n COUNT] [-a SECTION]... [-s "SECTIONS"]
#
#   -b BUILD    the build folder with bin/ftindex and root/ (default: build)
#   -n COUNT    manual pages taken from the default sections, spread evenly
#               over each (default 300)
#   -s LIST     the default sections (default "1 5 7 8")
#   -a SECTION  all pages of SECTION, besides (may be given more than once)
#
# Everything goes below BUILD/demo: docs/ (the documents), data/ (settings,
# indexes, configuration). Re-running with the same choice changes nothing
# and is quick: pages already copied are kept, and ftindex only reads what
# changed. Prints the FULSEARCH value to use, as the only line on standard
# output (everything else goes to standard error).
set -eu

build=build
count=300
sections="1 5 7 8"
allOf=""
while getopts b:n:s:a: opt; do
    case $opt in
    b) build=$OPTARG ;;
    n) count=$OPTARG ;;
    s) sections=$OPTARG ;;
    a) allOf="$allOf $OPTARG" ;;
    *) echo "usage: $0 [-b BUILD] [-n COUNT] [-s \"SECTIONS\"] [-a SECTION]..." >&2; exit 2 ;;
    esac
done
case $count in '' | *[!0-9]*) echo "make-demo: -n wants a number" >&2; exit 2 ;; esac

build=$(cd "$build" && pwd)
ftindex=$build/bin/ftindex
[ -x "$ftindex" ] || { echo "make-demo: $ftindex is missing; build first" >&2; exit 1; }
[ -d "$build/root" ] || { echo "make-demo: $build/root is missing; build first" >&2; exit 1; }
demo=$build/demo
docs=$demo/docs
data=$demo/data
mandir=${YM_DEMO_MANDIR:-/usr/share/man}
mkdir -p "$docs" "$data"
# The formatters ftindex runs are the platform root's, as the server's are.
YM_ROOT=$build/root
export YM_ROOT

tty=""
[ -t 2 ] && tty=1
progress() {
    if [ -n "$tty" ]; then printf '\r%s   ' "$1" >&2; else :; fi
}
progressDone() {
    if [ -n "$tty" ]; then printf '\r%s   \n' "$1" >&2; else echo "$1" >&2; fi
}

# A page is taken when it is a manual page of the man macros: not a mere
# ".so" pointer to another page, not in the BSD document macros (which the
# server's man formatter does not read).
usable() {
    case $1 in
    *.gz) gzip -dc -- "$1" 2>/dev/null | head -c 4096 ;;
    *) head -c 4096 -- "$1" ;;
    esac | awk '
        /^\.so[ \t]/ { bad = 1 }
        /^\.(Dd|Dt|Sh)[ \t]/ { bad = 1 }
        /^\.TH[ \t]/ { th = 1 }
        END { exit (bad || !th) }'
}

# Copies (decompressed) src to dst unless dst is already as new; dst takes
# src's time, so that the next run and ftindex see nothing new.
place() {
    src=$1 dst=$2
    if [ -e "$dst" ] && [ ! "$src" -nt "$dst" ]; then return 0; fi
    case $src in
    *.gz) gzip -dc -- "$src" > "$dst.tmp" ;;
    *) cat -- "$src" > "$dst.tmp" ;;
    esac
    touch -r "$src" "$dst.tmp"
    mv -f "$dst.tmp" "$dst"
}

# The pages of a section, sorted, one path a line.
pagesOf() {
    ls "$mandir/man$1" 2>/dev/null | LC_ALL=C sort | sed "s|^|$mandir/man$1/|"
}

nsec=0
for s in $sections; do nsec=$((nsec + 1)); done
[ "$nsec" -gt 0 ] || nsec=1
perSection=$(( (count + nsec - 1) / nsec ))

dbs=""
for s in $sections $allOf; do
    case " $dbs " in *" man$s "*) continue ;; esac
    all=""
    case " $allOf " in *" $s "*) all=1 ;; esac
    list=$(pagesOf "$s")
    [ -n "$list" ] || { echo "make-demo: no manual pages in $mandir/man$s" >&2; continue; }
    total=$(printf '%s\n' "$list" | wc -l)
    want=$perSection
    [ -n "$all" ] && want=$total
    # Every k-th page, so that the sample spreads over the whole section;
    # twice as many candidates as wanted, as some pages are not usable.
    step=1
    if [ "$want" -lt "$total" ]; then step=$(( total / (want * 2) )); fi
    [ "$step" -ge 1 ] || step=1
    dir=$docs/man$s
    mkdir -p "$dir"
    keep=$demo/.keep.man$s
    : > "$keep"
    taken=0 i=0
    for page in $list; do
        i=$((i + 1))
        [ "$taken" -lt "$want" ] || break
        [ $(( (i - 1) % step )) -eq 0 ] || continue
        [ -f "$page" ] || continue
        name=$(basename "$page" .gz)
        # ftindex knows a manual page by its section digit at the end.
        case $name in *.[1-9]) ;; *) name=$name.$s ;; esac
        if [ -e "$dir/$name" ] || usable "$page"; then
            place "$page" "$dir/$name"
            echo "$name" >> "$keep"
            taken=$((taken + 1))
            progress "make-demo: section $s: $taken of $want pages"
        fi
    done
    # Pages of an earlier, larger choice leave the folder.
    for f in "$dir"/*; do
        [ -e "$f" ] || continue
        grep -qxF -- "$(basename "$f")" "$keep" || rm -f -- "$f"
    done
    rm -f "$keep"
    progressDone "make-demo: section $s: $taken pages"
    dbs="$dbs man$s"
done

# Sections of an earlier choice leave the demo, databases and all.
for d in "$docs"/man*; do
    [ -d "$d" ] || continue
    db=$(basename "$d")
    case " $dbs " in *" $db "*) continue ;; esac
    rm -rf -- "$d" "$data/$db.cfg" "$data/$db.ftdb" "$data/$db.ref"
    echo "make-demo: $db removed" >&2
done

# A few plain-text documents from the machine's own documentation.
notes=$docs/notes
mkdir -p "$notes"
n=0
seen=" "
for f in /usr/share/doc/gzip/README* /usr/share/doc/groff-base/README* /usr/share/doc/coreutils/README* \
    /usr/share/doc/sqlite3/README* /usr/share/doc/*/README /usr/share/doc/*/README.gz /usr/share/doc/*/NEWS.gz; do
    [ "$n" -lt 12 ] || break
    [ -f "$f" ] || continue
    pkg=$(basename "$(dirname "$f")")
    base=$(basename "$f" .gz)
    name=$pkg-$base.txt
    case $seen in *" $name "*) continue ;; esac
    seen="$seen$name "
    dst=$notes/$name
    place "$f" "$dst"
    # Plain text only.
    if [ ! -s "$dst" ] || ! LC_ALL=C grep -qv '[^[:print:][:space:]]' "$dst" 2>/dev/null ||
        [ "$(LC_ALL=C tr -d '[:print:][:space:]' < "$dst" | wc -c)" -gt 0 ]; then
        rm -f "$dst"
        continue
    fi
    n=$((n + 1))
done
for f in "$notes"/*; do
    [ -e "$f" ] || continue
    case $seen in *" $(basename "$f") "*) ;; *) rm -f -- "$f" ;; esac
done
progressDone "make-demo: notes: $n plain-text documents"
dbs="$dbs notes"

for db in $dbs; do
    echo "make-demo: indexing $db" >&2
    "$ftindex" -s "$data" -n "$db" -d "$docs/$db"
done

# The configuration files.
cat > "$data/druskvers.new" <<EOF
Demo knowledge base of $(hostname) (manual pages and notes)
EOF
title() {
    case $1 in
    1) echo "Section 1: User commands" ;;
    2) echo "Section 2: System calls" ;;
    3) echo "Section 3: Library functions" ;;
    4) echo "Section 4: Devices" ;;
    5) echo "Section 5: File formats" ;;
    6) echo "Section 6: Games" ;;
    7) echo "Section 7: Overviews and conventions" ;;
    8) echo "Section 8: Administration" ;;
    *) echo "Section $1" ;;
    esac
}
{
    echo "# level|name|x|y|database: the tree the clients browse"
    echo "0|Knowledge Base|x|y"
    echo "1|Manual pages|x|y"
    for db in $dbs; do
        case $db in man*) echo "2|$(title "${db#man}")|x|y|$db" ;; esac
    done
    echo "1|Documentation|x|y|notes"
} > "$data/drusktree.new"
cat > "$data/druskadmin.new" <<'EOF'
# name:excluded nodes:seven capability flags:editable sources
# The group "staff" may do everything but edit; the user "demo" may also
# edit the notes; the user "guest" does not see the documentation node.
staff: :1:1:1:1:1:0:0
demo: :1:1:1:1:1:1:1:notes
guest:Documentation:1:1:1:0:0:0:0
EOF
cat > "$data/druskhelp.new" <<'EOF'
Searching the demo knowledge base
Type words to find the documents that hold all of them: printer queue
Use | or OR for either word, ^ or NOT to leave a word out: print ^ queue
Put a phrase between double quotes: "regular expression"
Brackets find words near each other: [signal handler]
Parentheses group: (tar | zip) archive
The sections of the manual are the nodes of the tree; Documentation holds
plain-text notes from the machine's own documentation.
EOF
for f in druskvers drusktree druskadmin druskhelp; do
    if cmp -s "$data/$f.new" "$data/$f"; then rm -f "$data/$f.new"; else mv -f "$data/$f.new" "$data/$f"; fi
done
echo "make-demo: databases:$dbs" >&2
echo "$data"
