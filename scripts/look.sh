#!/usr/bin/env bash
# A screenshot tour of ORVEX Link on a real X desktop, for a person to look at: Xvfb with
# openbox, the program on the demo head-end in a scratch folder, driven with xdotool through
# a fixed tour. Pictures go to look/NN-what.png (the folder is emptied first).
#   scripts/look.sh        after ./test.sh (or scripts/build.sh build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/bin/orvex-link
out=$root/look
[[ -x $bin ]] || { echo "look.sh: $bin is missing; run ./test.sh first" >&2; exit 1; }
for tool in Xvfb openbox xdotool xprop import; do
    command -v $tool >/dev/null || { echo "look.sh: $tool is missing; run scripts/setup.sh" >&2; exit 1; }
done
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
started=$(date +%s)

# --- waiting: every wait polls a state and gives up after a limit, saying what it waited for
fail() { echo "look.sh: $*" >&2; import -window root "$out/failed.png" 2>/dev/null || true; exit 1; }
until_true() { # what, command...: polls the command for up to 30 s
    local what=$1; shift
    for ((t = 0; t < 300; t++)); do "$@" && return 0; sleep 0.1; done
    fail "waited in vain for $what"
}
window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
has_window() { [[ -n $(window "$1") ]]; }
no_window() { [[ -z $(window "$1") ]]; }
wait_window() { until_true "a window named '$1'" has_window "$1"; window "$1"; }
wait_gone() { until_true "'$1' to close" no_window "$1"; }
# Top-left corner of a window on the screen: sets X and Y.
corner() { eval "$(xdotool getwindowgeometry --shell "$1")"; }

# --- acting
n=0
shot() { # name: waits until the screen stops changing, then keeps it as NN-name.png
    local a=$work/a.png b=$work/b.png
    import -window root "$a"
    for ((t = 0; t < 50; t++)); do
        import -window root "$b"
        cmp -s <(convert "$a" rgba:-) <(convert "$b" rgba:-) && break
        mv "$b" "$a"
    done
    n=$((n + 1))
    mv "$a" "$out/$(printf %02d $n)-$1.png"
}
click_at() { xdotool mousemove --sync "$1" "$2" click "${3:-1}"; }
# Click at an offset from a window's corner.
click_in() { corner "$1"; click_at $((X + $2)) $((Y + $3)) "${4:-1}"; }
key() { xdotool key --clearmodifiers "$@"; }
type_text() { xdotool type --delay 40 "$1"; }

# Main window: slot button of slot s (1-16) on the page shown; the buttons on the right.
main_id=
slot() { click_in "$main_id" $((MAIN_SLOT_X + ((($1 - 1) % 8) * 68))) $((MAIN_SLOT_Y + (($1 - 1) / 8) * 40)); }
