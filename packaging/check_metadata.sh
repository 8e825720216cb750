#!/usr/bin/env bash
# Checks that the names and addresses in the package and its metadata agree with the
# program: the Debian package's homepage and maintainer, the AppStream id, homepage,
# licences and release, all against the maker's host that the window links to.
#   check_metadata.sh CPACK_CONFIG MAKER_SITE_HEADER METAINFO XMLLINT
set -euo pipefail

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

[ $# -eq 4 ] || fail "usage: $0 CPACK_CONFIG MAKER_SITE_HEADER METAINFO XMLLINT"
config=$1 header=$2 metainfo=$3 xmllint=$4

host=$(sed -n 's/.*QStringLiteral("\([^"]*\)").*/\1/p' "$header" | head -n 1)
[ -n "$host" ] || fail "no maker's host in $header"
homepage=http://$host
# kestrel.example.org -> org.example.kestrel
id=$(tr '.' '\n' <<<"$host" | tac | paste -sd .)

xpath() {
    "$xmllint" --xpath "string($1)" "$metainfo"
}
[ "$(xpath /component/id)" = "$id" ] || fail "AppStream id '$(xpath /component/id)', not $id"
[ "$(xpath "/component/url[@type='homepage']")" = "$homepage" ] ||
    fail "AppStream homepage '$(xpath "/component/url[@type='homepage']")', not $homepage"
[ -n "$(xpath /component/project_license)" ] || fail "no project licence in the metainfo"
[ -n "$(xpath /component/metadata_license)" ] || fail "no metadata licence in the metainfo"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-deb.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
cpack -G DEB --config "$config" -B "$tmp" >"$tmp/cpack.log" 2>&1 || {
    cat "$tmp/cpack.log" >&2
    fail "cpack failed"
}
deb=$(ls "$tmp"/*.deb)
field() {
    dpkg-deb -f "$deb" "$1"
}
[ "$(field Homepage)" = "$homepage" ] || fail "package homepage '$(field Homepage)', not $homepage"
maintainer=$(field Maintainer)
[[ $maintainer =~ ^[^\<]+\ \<[^@\>]+@([^\>]+)\>$ ]] ||
    fail "package maintainer '$maintainer' is not 'Name <address>'"
[ "${BASH_REMATCH[1]}" = "$host" ] ||
    fail "package maintainer's address is at ${BASH_REMATCH[1]}, not at the maker's $host"
[ "$(xpath '/component/releases/release[1]/@version')" = "$(field Version)" ] ||
    fail "newest AppStream release '$(xpath '/component/releases/release[1]/@version')' is not the package version $(field Version)"
echo "PASS: package and metadata name $id at $homepage"
