#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks the desktop-program layout.
#   check_install_tree.sh CMAKE BUILD BINDIR APPDIR DATADIR APPID FFPLAY WITH_TOOL APPSTREAMCLI
set -euo pipefail

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

[ $# -eq 9 ] || fail "usage: $0 CMAKE BUILD BINDIR APPDIR DATADIR APPID FFPLAY WITH_TOOL APPSTREAMCLI"
cmake=$1 build=$2 bindir=$3 appdir=$4 datadir=$5 id=$6 ffplay=$7 with_tool=$8 appstreamcli=$9

tmp=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-install.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || {
    cat "$tmp/install.log" >&2
    fail "cmake --install failed"
}

exe=$prefix/$appdir/kestrel
[ -f "$exe" ] && [ ! -L "$exe" ] && [ -x "$exe" ] || fail "no executable file $appdir/kestrel"

link=$prefix/$bindir/kestrel
[ -L "$link" ] || fail "$bindir/kestrel is not a symbolic link"
[ "$(readlink -f "$link")" = "$(readlink -f "$exe")" ] ||
    fail "$bindir/kestrel resolves to $(readlink -f "$link"), not $appdir/kestrel"
case $(readlink "$link") in
/*) fail "$bindir/kestrel is an absolute link; the tree could not be moved" ;;
esac

player=$prefix/$appdir/ffplay
[ -L "$player" ] || fail "no ffplay link in $appdir"
[ "$(readlink "$player")" = "$ffplay" ] ||
    fail "$appdir/ffplay points to $(readlink "$player"), not $ffplay"

# The application folder holds the program, the tool and the player link, nothing else
# (no test programs, no stand-in).
expected="ffplay kestrel"
if [ "$with_tool" = 1 ]; then
    tool=$prefix/$appdir/untrunc-w
    [ -f "$tool" ] && [ -x "$tool" ] || fail "no executable untrunc-w in $appdir"
    expected="ffplay kestrel untrunc-w"
fi
found=$(ls -A "$prefix/$appdir" | sort | tr '\n' ' ' | sed 's/ $//')
[ "$found" = "$expected" ] || fail "$appdir holds '$found', expected '$expected'"
if find "$prefix" -name 'kestrel_standin*' -o -name 'test_*' | grep -q .; then
    fail "test programs were installed: $(find "$prefix" -name 'kestrel_standin*' -o -name 'test_*')"
fi

# Installed executables must not reach back into the build tree.
for program in "$exe" ${tool:+"$tool"}; do
    if readelf -d "$program" | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
        fail "$(basename "$program") keeps a library path into the build tree"
    fi
    if ldd "$program" | grep -q 'not found'; then
        fail "$(basename "$program") misses libraries: $(ldd "$program" | grep 'not found')"
    fi
done

for file in "applications/$id.desktop" "metainfo/$id.metainfo.xml" \
    "icons/hicolor/scalable/apps/$id.svg"; do
    [ -s "$prefix/$datadir/$file" ] || fail "no $datadir/$file"
done
grep -qx "Icon=$id" "$prefix/$datadir/applications/$id.desktop" ||
    fail "the desktop entry does not name the icon $id"
grep -qx "Exec=kestrel" "$prefix/$datadir/applications/$id.desktop" ||
    fail "the desktop entry does not start kestrel"
# The metainfo, the desktop entry it launches and the icon, checked together.
"$appstreamcli" validate-tree --no-net "$prefix" || fail "appstreamcli validate-tree failed"
echo "PASS: install tree in $appdir with $bindir/kestrel"
