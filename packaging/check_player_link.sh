#!/usr/bin/env bash
# Checks that the build put a link to the system's ffplay into the application folder.
#   check_player_link.sh LINK FOUND_FFPLAY
set -euo pipefail
link=$1 ffplay=$2
if [ -z "$ffplay" ] || [[ $ffplay == *NOTFOUND ]]; then
    echo "FAIL: CMake found no ffplay (package ffmpeg), so there is no player link" >&2
    exit 1
fi
[ -L "$link" ] || { echo "FAIL: $link is not a symbolic link" >&2; exit 1; }
[ "$(readlink "$link")" = "$ffplay" ] ||
    { echo "FAIL: $link points to $(readlink "$link"), not $ffplay" >&2; exit 1; }
[ -x "$link" ] || { echo "FAIL: $link does not lead to an executable" >&2; exit 1; }
echo "PASS: $link -> $ffplay"
