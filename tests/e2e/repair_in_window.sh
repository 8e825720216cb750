#!/usr/bin/env bash
# Runs the real kestrel in a private X server and drives it from outside as a person would.
# A recording made with ffmpeg is cut off; kestrel, started through a link in another folder
# as the installed bin/kestrel is, finds the repair tool in the folder of its real file. Both
# videos are chosen in the two pickers, Enter presses Execute and closes the "done" box, and
# a click on Exit ends the program. The repaired video must decode with at least 99 % of the
# video frames complete before the cut, and the log, copied with Ctrl+A, Ctrl+C and read
# back with the program CLIPBOARD, must hold the tool's summary.
#
#   repair_in_window.sh KESTREL TOOL CLIPBOARD
#
# With KESTREL_E2E_SHOT=<file.png> a failure also saves a picture of the screen (ImageMagick).
set -euo pipefail

fail() {
    echo "FAIL: $*" >&2
    [ -n "${KESTREL_E2E_SHOT:-}" ] && [ -n "${DISPLAY:-}" ] && import -window root "$KESTREL_E2E_SHOT" 2>/dev/null
    exit 1
}

# Client-pixel layout of the main window and the pickers, as the program builds them.
readonly MAIN_TITLE='Kestrel - Untrunc-w GUI'
readonly BOX_TITLE='Kestrel'
readonly MAIN_WIDTH=488 MAIN_HEIGHT=444
readonly EXIT_X=$((351 + 125 / 2)) EXIT_Y=$((413 + 25 / 2))
readonly REF_BROWSE_X=$((458 + 11)) REF_BROWSE_Y=$((7 + 11))
readonly COR_BROWSE_X=$((458 + 11)) COR_BROWSE_Y=$((30 + 11))
readonly FILE_LIST_X=40 FILE_LIST_TOP=174
readonly LOG_X=$((9 + 471 / 2)) LOG_Y=$((223 + 148 / 2))

# ---------------------------------------------------------------------------------------
# Inside the X server.
# ---------------------------------------------------------------------------------------
# Copies the text of the focused control of window $1 with Ctrl+C and prints it; the
# window takes a moment to put it on the clipboard.
copy_box_text() {
    local attempt
    for attempt in $(seq 20); do
        xdotool key --window "$1" ctrl+c
        sleep 0.2
        "$clipboard" 2>/dev/null && return 0
    done
    return 1
}

# A 4 s H.264 + AAC recording, as a camera would leave it: moov after mdat.
record() {
    ffmpeg -v error -y -f lavfi -i "$1=size=320x240:rate=25" -f lavfi -i "sine=frequency=$2" \
        -t 4 -c:v libx264 -g 25 -bf 2 -pix_fmt yuv420p -c:a aac -b:a 96k -f mp4 "$3" ||
        fail "ffmpeg could not make a test recording"
}

# Video frames of $1 whose bytes lie wholly before byte $2.
frames_before() {
    ffprobe -v error -select_streams v:0 -show_entries packet=pos,size -of csv=p=0 "$1" |
        awk -F, -v cut="$2" '$1 + $2 <= cut { n++ } END { print n + 0 }'
}

decoded_frames() {
    ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames \
        -of csv=p=0 "$1"
}

# Opens a picker with its browse button and confirms the file in row $3 of its file list by
# a double-click.
choose_in_picker() {
    local browse_x=$1 browse_y=$2 row=$3 title=$4 main=$5
    focus "$main"
    xdotool mousemove --window "$main" "$browse_x" "$browse_y" click 1
    wait_for_window "$title" 10
    local picker=$found row_y
    row_y=$((FILE_LIST_TOP + 8 + row * 13))
    focus "$picker"
    xdotool mousemove --window "$picker" "$FILE_LIST_X" "$row_y" click --repeat 2 --delay 100 1
    wait_for_no_window "$title" 10
}

in_x() {
    local work=$1 kestrel=$2 tool=$3 clipboard=$4
    : >"$work/x-started"
    command -v xdotool >/dev/null || fail "xdotool is not installed"
    local app=$work/app home=$work/home
    mkdir -p "$app" "$home" "$work/bin"
    cp "$kestrel" "$app/kestrel"
    cp "$tool" "$app/untrunc-w"
    ln -s "$app/kestrel" "$work/bin/kestrel"

    # The pickers start in the home folder; its files, sorted: row 0, then row 1.
    record testsrc 440 "$work/original.mp4"
    record smptebars 880 "$home/good take.mp4"
    local size cut
    size=$(stat -c %s "$work/original.mp4")
    cut=$((size * 6 / 10))
    head -c "$cut" "$work/original.mp4" >"$home/broken clip.mp4"
    local complete
    complete=$(frames_before "$work/original.mp4" "$cut")
    [ "$complete" -gt 10 ] || fail "the cut leaves only $complete complete frames"

    pid=""
    trap stop_kestrel EXIT
    # A session of its own, so that stopping it also stops a tool it may have started.
    (cd "$work" && HOME=$home exec setsid "$work/bin/kestrel") >"$work/kestrel.log" 2>&1 &
    pid=$!
    wait_for_window "$MAIN_TITLE" 20
    local main=$found
    local WIDTH="" HEIGHT=""
    eval "$(xdotool getwindowgeometry --shell "$main" | grep -E '^(WIDTH|HEIGHT)=[0-9]+$')"
    [ "$WIDTH" = "$MAIN_WIDTH" ] && [ "$HEIGHT" = "$MAIN_HEIGHT" ] ||
        fail "main window is ${WIDTH}x${HEIGHT}, not ${MAIN_WIDTH}x${MAIN_HEIGHT}: the clicks would miss"
    choose_in_picker "$REF_BROWSE_X" "$REF_BROWSE_Y" 1 "Select reference file" "$main"
    choose_in_picker "$COR_BROWSE_X" "$COR_BROWSE_Y" 0 "Select corrupt mp4" "$main"

    focus "$main"
    xdotool key Return
    wait_for_window "$BOX_TITLE" 60
    focus "$found"
    xdotool key Return
    wait_for_no_window "$BOX_TITLE" 10

    local fixed="$home/broken clip-fixed.MP4"
    [ "$(LC_ALL=C ls -A "$home")" = "$(printf 'broken clip-fixed.MP4\nbroken clip.mp4\ngood take.mp4')" ] ||
        fail "the home folder holds: $(ls -A "$home")"
    [ "$(LC_ALL=C ls -A "$app")" = "$(printf 'kestrel\nuntrunc-w')" ] ||
        fail "the application folder holds: $(ls -A "$app")"
    # A short run never reaches a sample of the log: the summary is added at its end.
    local log
    focus "$main"
    xdotool mousemove --window "$main" "$LOG_X" "$LOG_Y" click 1
    xdotool key --window "$main" ctrl+a
    log=$(copy_box_text "$main") || fail "nothing on the clipboard after Ctrl+C in the log"
    grep -qE "^(recovered:|wrote )" <<<"$log" || fail "the log lacks the tool's summary: $log"
    local decoded
    decoded=$(decoded_frames "$fixed") || fail "the repaired video does not decode"
    echo "repaired video: $decoded of $complete complete video frames"
    [ $((decoded * 100)) -ge $((complete * 99)) ] ||
        fail "only $decoded of $complete complete video frames recovered"

    click_exit "$main"
    echo "PASS: pickers, Execute, repaired video decodes, Exit"
}

# Clicks Exit in main window $1; kestrel must end within 5 s with status 0.
click_exit() {
    xdotool mousemove --window "$1" "$EXIT_X" "$EXIT_Y" click 1
    local deadline=$((SECONDS + 5))
    while kill -0 "$pid" 2>/dev/null; do
        [ "$SECONDS" -lt "$deadline" ] || fail "kestrel is still running 5 s after Exit was clicked"
        sleep 0.1
    done
    local status=0
    wait "$pid" || status=$?
    pid=""
    [ "$status" -eq 0 ] || fail "kestrel ended with status $status"
}

# Prints the visible windows of kestrel titled exactly $1. (xdotool's own name match is a
# loose regular expression: "^Kestrel$" also finds "Kestrel - Untrunc-w GUI".)
windows_titled() {
    local w
    for w in $(xdotool search --onlyvisible --pid "$pid" --name "$1" 2>/dev/null); do
        [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ] && echo "$w"
    done
    return 0
}

# Sets found to the one visible window of kestrel titled exactly $1, waiting up to $2 s.
wait_for_window() {
    local title=$1 deadline=$((SECONDS + $2)) windows
    found=""
    while :; do
        kestrel_alive
        windows=$(windows_titled "$title")
        if [ -n "$windows" ]; then
            [ "$(wc -l <<<"$windows")" -eq 1 ] || fail "more than one window titled '$title'"
            found=$windows
            return 0
        fi
        [ "$SECONDS" -lt "$deadline" ] || fail "no window titled '$title' within $2 s"
        sleep 0.1
    done
}

wait_for_no_window() {
    local title=$1 deadline=$((SECONDS + $2))
    while [ -n "$(windows_titled "$title")" ]; do
        kestrel_alive
        [ "$SECONDS" -lt "$deadline" ] || fail "window '$title' still open after $2 s"
        sleep 0.1
    done
}

# Gives window $1 the keyboard focus; without a window manager nobody else does.
focus() {
    timeout 10 xdotool windowfocus --sync "$1" || fail "window $1 did not take the focus within 10 s"
}

kestrel_alive() {
    kill -0 "$pid" 2>/dev/null && return 0
    echo "--- kestrel output:" >&2
    cat "$work/kestrel.log" >&2 || true
    fail "kestrel ended before it was asked to"
}

stop_kestrel() {
    [ -n "${pid:-}" ] || return 0
    kill -TERM -- "-$pid" 2>/dev/null || true
    local i
    for i in $(seq 30); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -KILL -- "-$pid" 2>/dev/null || true
}

# ---------------------------------------------------------------------------------------
# Outside: an X server of its own for each run.
# ---------------------------------------------------------------------------------------
if [ "${1:-}" = --in-x ]; then
    shift
    work=$1
    in_x "$@"
    exit 0
fi

[ $# -eq 3 ] || fail "usage: $0 KESTREL TOOL CLIPBOARD"
kestrel=$1 tool=$2 clipboard=$3
[ -x "$kestrel" ] || fail "no kestrel executable at $kestrel"
[ -x "$tool" ] || fail "no tool at $tool"
[ -x "$clipboard" ] || fail "no clipboard reader at $clipboard"
command -v xvfb-run >/dev/null || fail "xvfb-run is not installed: no X server for the window test"
command -v Xvfb >/dev/null || fail "Xvfb is not installed: no X server for the window test"

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-e2e.XXXXXX")
trap 'rm -rf "$work"' EXIT

# xvfb-run picks a free display itself; another test taking the same one at the same moment
# makes the server fail to start, so try again a few times before giving up.
status=1
for attempt in 1 2 3; do
    rm -f "$work/x-started"
    status=0
    xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" -e "$work/xvfb.log" \
        bash "$0" --in-x "$work" "$kestrel" "$tool" "$clipboard" || status=$?
    [ -e "$work/x-started" ] && exit "$status"
    echo "X server did not start (attempt $attempt):" >&2
    cat "$work/xvfb.log" >&2 2>/dev/null || true
done
fail "no X server could be started, so the window test could not run"
