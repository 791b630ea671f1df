#!/usr/bin/env bash
# The maker's window on a virtual display, driven with keyboard and mouse as a user would drive it:
# caption, size and place, the stub file's life, both folder-check messages, builds through the field
# and the build button, an error box after which the window still works, the folder dialog (cancelled
# and confirmed), the engine's Abort/Retry/Ignore question, a long build that shows its progress and
# stops when the program is left, a stub file that cannot be written at start-up, and Escape closing
# the program.
#
#   window_test.sh MAKER CLIPBOARD_TOOL
#
# A message box's text is read back through the clipboard (the box copies it on Ctrl+C). Every wait
# polls with a deadline; whatever happens, the maker, the display and the lock holder are stopped.
set -euo pipefail

maker=$1
clip=$2
for tool in Xvfb xdotool python3 flock timeout; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
xvfb=
app=
locker=
cleanup() {
    for pid in $app $locker $xvfb; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    if [ -s "$work/app.err" ]; then
        echo "--- maker's standard error:" >&2
        cat "$work/app.err" >&2
    fi
    exit 1
}

# Polls a command until it succeeds; fails after the deadline (seconds; the sanitizers slow the maker).
poll() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $deadline ] || fail "timed out waiting for $what"
        sleep 0.1
    done
}

window_id() { xdotool search --name "^$1\$" 2>/dev/null | head -n 1; }
has_window() { [ -n "$(window_id "$1")" ]; }
no_window() { [ -z "$(window_id "$1")" ]; }

wait_window() {
    poll 30 "the window \"$1\"" has_window "$1"
    window_id "$1"
}

# Focus a window of the maker: without a window manager nobody else gives it the keyboard.
focus() { timeout 10 xdotool windowfocus --sync "$1" || fail "window $1 did not take the focus"; }

# The text of the message box titled $1, once it is there; the box gets the focus.
box_text() {
    box=$(wait_window "$1")
    focus "$box"
    xdotool key ctrl+c
    "$clip" 5000 || fail "no text on the clipboard from the box \"$1\""
}

# Answers the box in front with the keys given and waits for the box titled $1 to go.
answer_box() {
    local title=$1
    shift
    xdotool key "$@"
    poll 10 "the box \"$title\" to close" no_window "$title"
}

# Waits for a message box titled $1, checks its text is $2 (or matches the pattern $2 when $3 is
# "like"), presses Enter on its button and waits for it to go.
expect_box() {
    local title=$1 want=$2 how=${3:-is} got
    got=$(box_text "$title")
    if [ "$how" = like ]; then
        [[ "$got" == $want ]] || fail "box \"$title\" says \"$got\", expected something like \"$want\""
    else
        [ "$got" = "$want" ] || fail "box \"$title\" says \"$got\", expected \"$want\""
    fi
    answer_box "$title" Return
}

# Starts the maker from the folder $work/cwd with the temporary folder $1 (and a home of the test's,
# where the folder dialog keeps its settings).
start_maker() {
    (cd "$work/cwd" && HOME=$work/home TMPDIR=$1 exec "$work/bin/selfpack") >"$work/app.out" 2>"$work/app.err" &
    app=$!
}

# Escape presses Exit: the program must end, with status 0.
exit_maker() {
    focus "$main"
    xdotool key Escape
    local deadline=$((SECONDS + 30))
    while kill -0 "$app" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || fail "the maker did not end on Escape"
        sleep 0.1
    done
    local status=0
    wait "$app" || status=$?
    app=
    [ "$status" -eq 0 ] || fail "the maker ended with status $status"
}

# Replaces the folder field's text (click into it, select all, type).
type_folder() {
    focus "$main"
    xdotool mousemove --window "$main" 200 18 click 1
    xdotool key ctrl+a BackSpace
    [ -z "$1" ] || xdotool type --delay 10 "$1"
}

# The buttons are pressed with the mouse at their places in the window.
press_build() {
    focus "$main"
    xdotool mousemove --window "$main" 215 47 click 1
}

# The folder dialog's title is matched by its Latin start: the name search does not take Hangul.
open_folder_dialog() {
    focus "$main"
    xdotool mousemove --window "$main" 437 18 click 1
    chooser=$(wait_window "EXE .*")
    [ "$(xdotool getwindowname "$chooser")" = "EXE 만들선택" ] ||
        fail "the folder dialog is titled \"$(xdotool getwindowname "$chooser")\""
    focus "$chooser"
}

check_archive() {
    python3 - "$1" "$2" <<'EOF' || fail "$1 is not the expected archive"
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    assert z.testzip() is None, "a damaged entry"
    names = sorted(z.namelist())
    want = sorted(sys.argv[2].split())
    assert names == want, f"entries {names}, expected {want}"
EOF
}

# A display of our own: -displayfd picks a free number, so parallel runs cannot collide.
mkfifo "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/displayfd" 2>"$work/xvfb.err" &
xvfb=$!
read -r -t 30 display <"$work/displayfd" || fail "Xvfb did not start: $(cat "$work/xvfb.err")"
export DISPLAY=:$display
# The font lookups' caches live as long as the process: only the maker's own leaks count.
export LSAN_OPTIONS=${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp:print_suppressions=0

# The maker writes its outputs beside the chosen folder, never next to itself (an installed maker's
# folder is not the user's): a copy in a folder of the test's own that must stay as it is. The current
# folder is another, so a typed relative path must be taken from there.
mkdir -p "$work/bin" "$work/tmp" "$work/home" "$work/cwd/data/sub" "$work/cwd/other" "$work/cwd/broken" "$work/cwd/locked" \
    "$work/cwd/broken.run" "$work/cwd/big"
cp "$maker" "$work/bin/selfpack"
printf 'hello\n' >"$work/cwd/data/a.txt"
printf 'deep\n' >"$work/cwd/data/sub/b.txt"
printf 'x\n' >"$work/cwd/other/x.txt"
printf 'y\n' >"$work/cwd/broken/y.txt"
printf 'free\n' >"$work/cwd/locked/free.txt"
printf 'held\n' >"$work/cwd/locked/held.txt"
stub=$work/tmp/SFXStub.run

start_maker "$work/tmp"
main=$(wait_window Selfpack)
read -r width height < <(xdotool getwindowgeometry "$main" | sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p')
[ "$width x $height" = "515 x 98" ] || fail "client area is $width x $height, expected 515 x 98"
read -r left top < <(xdotool getwindowgeometry "$main" | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')
[ "$left,$top" = "$(((1024 - 515) / 2)),$(((768 - 98) / 2))" ] || fail "window at $left,$top, not centred"
[ "$(head -c 4 "$stub" | od -An -c | tr -d ' ')" = '177ELF' ] || fail "no stub program at $stub"

# Enter in the field presses the build button.
type_folder ""
xdotool key Return
expect_box Information "만들폴더선택~"
type_folder nosuch
xdotool key Return
expect_box Information "폴더가 없네~"
listing() { ls -A "$work/cwd" | tr '\n' ' '; }
[ "$(listing)" = "big broken broken.run data locked other " ] || fail "a failed check left files: $(listing)"

type_folder data
press_build
expect_box Information "SFX archive $work/cwd/data.run created successfully."
check_archive "$work/cwd/data.run" "a.txt sub/ sub/b.txt"
before=$(listing)
[ "$before" = "big broken broken.run data data.run locked other " ] || fail "the build left other files: $before"

# A folder standing where the executable goes: the build fails in an error box naming it, leaves
# nothing, and the window goes on.
type_folder broken
xdotool key Return
expect_box Error "*$work/cwd/broken.run*" like
[ "$(listing)" = "$before" ] || fail "a failed build left files: $(listing)"

# The folder dialog: cancelling leaves the field as it was (the next build is of "data" again)...
type_folder data
open_folder_dialog
answer_box "EXE .*" Escape
rm "$work/cwd/data.run"
press_build
expect_box Information "SFX archive $work/cwd/data.run created successfully."
check_archive "$work/cwd/data.run" "a.txt sub/ sub/b.txt"

# ...and confirming puts the folder in the field; typed or chosen, "other/" names the output "other".
type_folder other/
open_folder_dialog
answer_box "EXE .*" Return
press_build
expect_box Information "SFX archive $work/cwd/other.run created successfully."
check_archive "$work/cwd/other.run" "x.txt"

# A file another program holds locked cannot be stored: the engine asks Abort, Retry or Ignore, in
# that order, with the focus on Abort. Ignore leaves the file out and the build goes on...
# The holder becomes the sleep itself, so that killing it frees the lock and leaves nothing behind.
(exec 9>>"$work/cwd/locked/held.txt" && flock 9 && exec sleep 600) </dev/null >/dev/null 2>&1 &
locker=$!
poll 10 "the lock on held.txt" bash -c "! flock -n '$work/cwd/locked/held.txt' true"
type_folder locked
press_build
[[ "$(box_text Error)" == *held.txt* ]] || fail "the failure question does not name the file"
answer_box Error Tab Tab Return
expect_box Information "SFX archive $work/cwd/locked.run created successfully. 1 file or folder was left out."
check_archive "$work/cwd/locked.run" "free.txt"
# ...and Abort ends the build and leaves the older executable as it was.
printf 'older\n' >"$work/cwd/locked.run"
press_build
box_text Error >/dev/null
answer_box Error Return
expect_box Warning "*$work/cwd/locked.run*" like
[ "$(cat "$work/cwd/locked.run")" = older ] || fail "an aborted build touched the older executable"
kill "$locker"
locker=

# A long build (a sparse file of 2 GiB takes no room but seconds to compress) runs off the window's
# thread: its progress bar moves, and leaving asks whether to stop. Stopping ends the program and
# leaves the older executable and no temporary file.
truncate -s 2G "$work/cwd/big/zeros.bin"
printf 'older\n' >"$work/cwd/big.run"
before=$(listing)
type_folder big
press_build
poll 60 "the build's temporary file" bash -c "ls -A '$work/cwd' | grep -q '^\.big\.run\.'"
focus "$main"
xdotool key Escape
[ "$(box_text Confirm)" = "A build is running. Stop it and exit?" ] || fail "leaving during a build does not ask"
answer_box Confirm Return
deadline=$((SECONDS + 60))
while kill -0 "$app" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "the maker did not end after the build was stopped"
    sleep 0.1
done
status=0
wait "$app" || status=$?
app=
[ "$status" -eq 0 ] || fail "the maker ended with status $status"
[ "$(listing)" = "$before" ] || fail "the stopped build left files: $(listing)"
[ "$(cat "$work/cwd/big.run")" = older ] || fail "the stopped build touched the older executable"
[ "$(ls "$work/bin")" = selfpack ] || fail "the maker wrote next to itself: $(ls "$work/bin")"
[ ! -e "$stub" ] || fail "the stub file outlived the window"

# A temporary folder where the stub file cannot be written: the error comes first, in an error box, and
# the window opens all the same.
start_maker "$work/missing"
expect_box Error "*$work/missing*" like
main=$(wait_window Selfpack)
exit_maker

echo "window test passed"
