#!/usr/bin/env bash
# Checks scripts/sample-recordings: a good H.264 + AAC reference, a cut recording no player
# opens, nothing replaced on a second run, and (given the repair tool) a pair the tool
# repairs into a video that decodes.
#
#   sample_recordings.sh SCRIPT [UNTRUNC-W]
set -euo pipefail

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

script=$1 tool=${2:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-samples-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
dir="$work/my samples"

"$script" >/dev/null 2>&1 && fail "no folder given, yet it succeeded"
"$script" "$dir" >"$work/out.txt" || fail "the script failed: $(cat "$work/out.txt")"
[ "$(ls "$dir")" = "$(printf 'broken.mp4\nreference.mp4')" ] || fail "made: $(ls "$dir")"

codecs=$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$dir/reference.mp4" |
    sort | tr '\n' ' ')
[ "$codecs" = "aac h264 " ] || fail "the reference holds '$codecs', not H.264 and AAC"
ffprobe -v error "$dir/broken.mp4" 2>/dev/null && fail "the broken recording opens"

before=$(md5sum "$dir"/*)
"$script" "$dir" >/dev/null 2>&1 && fail "a second run into the same folder succeeded"
[ "$(md5sum "$dir"/*)" = "$before" ] || fail "a second run changed the recordings"

if [ -n "$tool" ]; then
    (cd "$dir" && "$tool" reference.mp4 broken.mp4 >"$work/tool.txt" 2>&1) ||
        fail "$tool could not repair the pair: $(cat "$work/tool.txt")"
    repaired="$dir/broken.mp4_untrunc.mp4"
    codecs=$(ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$repaired" |
        sort | tr '\n' ' ')
    [ "$codecs" = "aac h264 " ] || fail "the repaired video holds '$codecs'"
    frames=$(ffprobe -v error -select_streams v:0 -count_frames \
        -show_entries stream=nb_read_frames -of csv=p=0 "$repaired")
    [ "$frames" -ge 60 ] || fail "only $frames video frames decode from the repaired video"
fi
echo "PASS: sample recordings${tool:+, repaired by $tool}"
