#!/usr/bin/env bash
# A screenshot tour of ORVEX Link on a real X desktop, for a person to look at: Xvfb with
# openbox, the program on the demo head-end in a scratch folder, driven with xdotool through
# a fixed tour. Pictures go to look/NN-what.png (the folder is emptied first), those of the
# Cockpit page to look/cockpit/.
#   scripts/look.sh        after ./test.sh (or scripts/build.sh build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/bin/orvex-link
out=$root/look
[[ -x $bin ]] || { echo "look.sh: $bin is missing; run ./test.sh first" >&2; exit 1; }
for tool in Xvfb openbox xdotool xprop import convert; do
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

# --- waiting: each wait polls a state for at most 30 s and says what it waited for
fail() {
    echo "look.sh: $*" >&2
    import -window root "$out/failed.png" 2>/dev/null || true
    exit 1
}
until_true() { # what command...
    local what=$1
    shift
    for ((t = 0; t < 300; t++)); do "$@" && return 0; sleep 0.1; done
    fail "waited in vain for $what"
}
windows() { xdotool search --onlyvisible --name "$1" 2>/dev/null || true; }
count() { windows "$1" | wc -l; }
has() { [[ $(count "$1") -ge ${2:-1} ]]; }
gone() { [[ $(count "$1") -lt ${2:-1} ]]; }
wait_for() { until_true "a window named '$1'" has "$@"; }
wait_gone() { until_true "'$1' to close" gone "$@"; }
# The newest window of that name.
window() { windows "$1" | tail -1; }
new_window() { [[ -n $(window "$1") && $(window "$1") != "$2" ]]; } # name, the one before
# Sets X and Y to a window's top-left corner on the screen.
corner() { eval "$(xdotool getwindowgeometry --shell "$1")"; }
pixel() { import -window root -crop 1x1+"$1"+"$2" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}'; }

# --- acting
n=0
same() { cmp -s <(convert "$1" rgba:-) <(convert "$2" rgba:-); }
snap() { # name: the screen as it is now (something moving on it), as NN-name.png
    n=$((n + 1))
    import -window root "$out/$(printf %02d $n)-$1.png"
    echo "  $(printf %02d $n)-$1.png"
}
shot() { # name: once the screen has stopped changing, keeps it as NN-name.png
    local a=$work/a.png b=$work/b.png
    local steady=0
    import -window root "$a"
    for ((t = 0; t < 50 && steady < 2; t++)); do
        import -window root "$b"
        if same "$a" "$b"; then steady=$((steady + 1)); else steady=0; fi
        mv "$b" "$a"
    done
    n=$((n + 1))
    mv "$a" "$out/$(printf %02d $n)-$1.png"
    echo "  $(printf %02d $n)-$1.png"
}
click_in() { # window x y [button]: a click at that offset from the window's corner
    corner "$1"
    local x=$((X + $2)) y=$((Y + $3))
    # --sync waits for the pointer to move: for ever where it is there already.
    [[ $(xdotool getmouselocation | cut -d' ' -f1-2) == "x:$x y:$y" ]] || xdotool mousemove --sync "$x" "$y"
    xdotool click "${4:-1}"
}
key() { xdotool key --clearmodifiers "$@"; }
close_window() { xdotool windowactivate --sync "$(window "$1")" key --clearmodifiers alt+F4; }
type_text() { xdotool type --delay 60 "$1"; }

# The main window's controls, from its corner (caption 18, menu bar 18, then the client).
main=
slot() { click_in "$main" $((36 + (($1 - 1) % 8) * 68)) $((97 + (($1 - 1) / 8) * 40)); }
page() { click_in "$main" $((44 + ($1 - 1) * 88)) 51; }
scan() { click_in "$main" 581 69; }
diag() { click_in "$main" 581 101; }
menu() { click_in "$main" "$1" 26; } # File 19, Settings 83, Help 151
status_menu() { click_in "$main" 300 167 3; }
# A panel cell's control (column, row from 0), from the panel's corner.
cell() { click_in "$(window 'Module #')" $((53 + $1 * 204)) $((42 + $2 * 35)); }
open_slot() { slot "$1"; sleep 0.2; has "Module #$1:"; }
lamp_lime() { corner "$main"; [[ $(pixel $((X + 581)) $((Y + 48))) == "#00FF00" ]]; }
main_down() { # y: drags the main window by its caption to that top
    corner "$main"
    xdotool mousemove --sync $((X + 200)) $((Y + 9)) mousedown 1 \
        mousemove --sync $((X + 200)) $(($1 + 9)) mouseup 1
}
main_at() { corner "$main"; [[ $Y -eq $1 ]]; }

# --- the desktop
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
until_true "Xvfb" test -s "$work/display"
export DISPLAY=:$(cat "$work/display")
openbox --sm-disable --startup "touch $work/managing" >"$work/openbox.log" 2>&1 &
pids+=($!)
until_true "openbox" test -e "$work/managing"

# --- the program, on the demo head-end in a scratch folder, with the service items (/k)
mkdir "$work/run"
cd "$work/run"
printf '[ComPort]\nPort=DEMO\n' >OXLCom.ini
ln -s "$root/Help" Help
export QTWEBENGINE_DISABLE_SANDBOX=1
"$bin" /k >"$work/program.log" 2>&1 &
pids+=($!)
wait_for '^ORVEX Link$'
main=$(window '^ORVEX Link$')

echo "look.sh: the tour"
shot start
key ctrl+l # the line monitor, below the main window
wait_for '^Line monitor$'
scan
sleep 1.5
snap line-monitor-scanning
until_true "the scan to end" lamp_lime
shot line-monitor-scanned
close_window '^Line monitor$'
wait_gone '^Line monitor$'
shot scanned
page 2
shot subrack-2
page 1

slot 1
wait_for 'Module #1:'
cell 0 0
shot list-enum
key Escape
cell 1 1
shot list-on-off
key Escape
slot 2
wait_for 'Module #2:'
shot read-only-values
sleep 6 # the measured values are read again every 5 s
shot live-values
slot 7
wait_for 'Module #7:'
cell 0 1
shot list-segments
key Escape

slot 3
wait_for 'Module #3:'
diag
wait_for 'Module #3 diagnostic'
shot diagnostics
diag
wait_gone 'Module #3 diagnostic'

slot 9
wait_for 'Module #1/9:'
type_text $'help\r'
shot terminal-from-slot
corner "$main"
main_down $((Y + 120))
until_true "the main window to move" main_at $((Y + 120))
type_text $'status\r'
shot terminal-after-drag
for i in 1 2 3; do type_text $'help\r'; done
sleep 1
key shift+Prior # back into the lines that scrolled off
terminal=$(window 'Module #1/9:')
corner "$terminal"
xdotool mousemove --sync $((X + 20)) $((Y + 60)) mousedown 1 \
    mousemove --sync $((X + 200)) $((Y + 110)) mouseup 1
shot terminal-scrollback-selection
key shift+Next
type_text $'exit\r'
wait_gone 'Module #1/9:'
wait_for 'Module #9:'
shot panel-after-exit

page 2
slot 1
until_true "the pages window" has '^ORVEX Link$' 2
shot pages
key alt+F4
wait_gone '^ORVEX Link$' 2
shot after-pages
slot 2
wait_for 'Module #2:'
cell 0 0
shot list-module-type
key Escape
slot 4
wait_gone 'Module #'
shot empty-slot
menu 19
key Down Down Down Return # "Save Module", with no module open
until_true "the message" has '^ORVEX Link$' 2
shot message
key Return
wait_gone '^ORVEX Link$' 2

slot 8
wait_for 'Module #8:'
menu 19
key Down Down Down Return # "Save Module"
wait_for 'Save module settings'
type_text "$work/run/orx.mst"
shot save-module
key Return
wait_gone 'Save module settings'
shot module-saved
menu 19
key Down Return # "Save Config"
wait_for 'Save current configuration'
type_text "$work/run/headend.mmh"
key Return
wait_gone 'Save current configuration'
# The menus wait until the save is done: the file appears whole at its end.
until_true "the configuration saved" test -s "$work/run/headend.mmh"
shot config-saved
menu 19
key Down Down Down Down Down Return # "Compare with file…"
wait_for 'Compare with file'
asked=$(window 'Compare with file')
type_text "$work/run/headend.mmh"
key Return
until_true "the comparison" new_window 'Compare with file' "$asked"
shot compare
key Escape
wait_gone 'Compare with file'
menu 19
key Down Down Return # "Load Config"
wait_for 'Load configuration from file'
type_text "$work/run/headend.mmh"
shot load-config
key Return
wait_gone 'Load configuration from file'
# Reading back the images the load wrote restarts those modules again: asked, and declined.
until_true "the read-back question" has '^ORVEX Link$' 2
shot load-read-back
key Escape
wait_gone '^ORVEX Link$' 2
page 1
until_true "the scan after loading" open_slot 1
shot config-loaded
menu 83
key Down Down Down Down Return # "Message log…"
wait_for '^Message log$'
shot message-log
close_window '^Message log$'
wait_gone '^Message log$'

menu 151
key Down Down Return # "English"
wait_for "guide$"
shot help
key alt+F4
wait_gone "guide$"
menu 151
key Up Return # "About"
wait_for '^ ORVEX Link$'
shot about
key Return
wait_gone '^ ORVEX Link$'
menu 83
key Down Return # "Communication"
wait_for 'Communications'
click_in "$(window Communications)" 190 42 # the arrow of "Scan Time Out"
shot communications
key Escape Escape
wait_gone 'Communications'

page 1
slot 4
wait_for 'Module #4:'
status_menu
shot status-menu
key Down Down Down Return # "Default params"
shot defaults
status_menu
key Down Return # "Reset module"
wait_gone 'Module #4:'
shot reset
status_menu
key Up Up Return # "LineBreak", above "Line monitor…"
shot line-break

slot 1
wait_for 'Module #1:'
main_down 0
until_true "the main window to stop" main_at 135
shot top-edge
click_in "$main" 587 9 # the caption's minimise button
wait_gone 'Module #1:'
shot minimised
xdotool windowactivate "$main"
wait_for '^ORVEX Link$'
wait_for 'Module #1:'
shot restored

# The Cockpit page at a desktop's and at a phone's width: its browser test takes the pictures.
ORVEX_BIN=$root/build/bin ORVEX_PAGE_SHARE=$root/build/share ORVEX_SHOTS=$out/cockpit \
    QT_QPA_PLATFORM=offscreen node --test "$root"/tests/cockpit/*.test.mjs >"$work/page.log" 2>&1 ||
    { cat "$work/page.log"; fail "the Cockpit page's test failed"; }

echo "look.sh: $n pictures in $out, and the Cockpit page's in $out/cockpit, $(($(date +%s) - started)) s"
