#!/usr/bin/env bash
# Installs the packages of dist/ (scripts/package.sh makes them) into a fresh Debian 12 root
# made with debootstrap from the Debian archive this machine uses, with `apt-get install
# ./*.deb`, and checks there, as an ordinary user in a home folder without the source tree:
# orvex-cli scans the demo head-end, its man page renders, the windows program starts under
# Xvfb from the menu entry's command line in its own data folder and opens its help, and
# orvex-monitor started with the unit's command line serves /metrics. Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ $(id -u) -ne 0 ]]; then
    exec sudo "$0" "$@"
fi
shopt -s nullglob
debs=(dist/*.deb)
[[ ${#debs[@]} -eq 2 ]] || { echo "package-test: run scripts/package.sh first" >&2; exit 1; }
if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi
start=$SECONDS
root=$(mktemp -d /var/tmp/orvex-root.XXXXXX)
chmod 755 "$root" # the root folder of the new system
cleanup() {
    for m in "$root/dev/pts" "$root/dev" "$root/proc" "$root/sys"; do
        mountpoint -q "$m" && umount -l "$m"
    done
    rm -rf --one-file-system "$root"
}
trap cleanup EXIT

# The archive this machine installs from (deb.debian.org when none is named).
mirror=$(grep -rhoE 'https?://[^ ]+/debian/?( |$)' /etc/apt/sources.list /etc/apt/sources.list.d/ \
    2>/dev/null | head -1 | tr -d ' ' || true)
mirror=${mirror:-http://deb.debian.org/debian}
echo "package-test: debootstrap bookworm from $mirror"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1 ||
    { tail -20 "$root.log"; exit 1; }
rm -f "$root.log"
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb ${mirror%/debian*}/debian-security bookworm-security main
EOF
mount -t proc proc "$root/proc"
mount -t sysfs sys "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mkdir -p "$root/tmp/debs"
cp "${debs[@]}" "$root/tmp/debs/"

echo "package-test: apt-get install ./*.deb"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }
in_root apt-get update -qq
in_root sh -c 'cd /tmp/debs && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ./*.deb' \
    >"$root/tmp/install.log" 2>&1 || { tail -30 "$root/tmp/install.log"; exit 1; }
# What a person's desktop has besides: a manual reader, an X server to look at, systemd.
in_root sh -c 'DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    man-db xvfb xauth xdotool curl systemd' >"$root/tmp/extra.log" 2>&1 ||
    { tail -30 "$root/tmp/extra.log"; exit 1; }
in_root useradd -m -s /bin/bash engineer

cat >"$root/tmp/check.sh" <<'EOF'
#!/bin/bash
# Runs as the user "engineer" in the home folder.
set -euo pipefail
trap 'echo "package-test: FAILED at line $LINENO: $BASH_COMMAND" >&2' ERR
cd
fail() {
    echo "package-test: FAILED: $*" >&2
    [[ ! -e link.log ]] || cat link.log >&2
    exit 1
}
until_true() { # seconds what command...
    local limit=$(( SECONDS + $1 )) what=$2
    shift 2
    until "$@" >/dev/null 2>&1; do
        (( SECONDS < limit )) || fail "$what"
        sleep 0.2
    done
}

# Status 1: the demo head-end has a module that reports a fault.
status=0
scan=$(orvex-cli --port DEMO scan 2>&1) || status=$?
[[ $status -le 1 && $(tail -1 <<<"$scan") == "12 Modules found" ]] || fail "orvex-cli scan: $scan"
echo "ok: orvex-cli --port DEMO scan finds 12 modules"

MANWIDTH=80 man orvex-cli 2>man.err | grep -q "EXIT STATUS" || fail "man orvex-cli: $(cat man.err)"
echo "ok: man orvex-cli renders"

# The windows program, started as the menu starts it.
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/orvex-link.desktop)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>display 2>xvfb.log &
xvfb=$!
until_true 10 "Xvfb" test -s display
export DISPLAY=:$(cat display)
data=$HOME/.local/share/orvex-link
# First start: its folder is made, the settings go there (the port COM1 is missing here).
$exec_line >link.log 2>&1 &
link=$!
until_true 60 "the first start writes $data/OXL.ini" test -s "$data/OXL.ini"
until_true 30 "a window" xdotool search --name '^ORVEX Link$'
kill $link; wait $link || true
[[ ! -e OXL.ini ]] || fail "OXL.ini written into the home folder"
echo "ok: started from the menu entry ($exec_line), it keeps OXL.ini in $data"
# Second start on the demo head-end: "Help" -> "English" opens the installed guide.
printf '[ComPort]\nPort=DEMO\n' >"$data/OXLCom.ini"
$exec_line >>link.log 2>&1 &
link=$!
until_true 60 "the main window" xdotool search --onlyvisible --name '^ORVEX Link$'
main=$(xdotool search --onlyvisible --name '^ORVEX Link$' | head -1)
sleep 1
# "Help" in the menu bar, below the program's own caption; then its second entry.
xdotool mousemove --window "$main" 151 26 click 1
sleep 0.5
xdotool key Down Down Return
until_true 30 "the help window" xdotool search --onlyvisible --name "user's guide"
kill $link; wait $link || true
kill $xvfb
echo "ok: the help window shows /usr/share/orvex-link/Help/ORVEXLINK_EN.hlp"

# The monitor with the command line of its unit, on a simulated head-end at /dev/pts/N.
headend-sim --pty >sim.out 2>sim.log &
sim=$!
until_true 10 "headend-sim" test -s sim.out
tty=$(head -1 sim.out)
instance=${tty#/dev/}
set -a
. /etc/orvex-monitor/orvex-monitor.env
set +a
command=$(sed -n 's/^ExecStart=//p' /lib/systemd/system/orvex-monitor@.service)
command=${command//%I/$instance}
command=$(eval echo "$command")
$command >monitor.log 2>&1 &
monitor=$!
metrics() { curl -sf "http://$ORVEX_LISTEN/metrics"; }
until_true 60 "/metrics with the line up" sh -c "curl -sf http://$ORVEX_LISTEN/metrics | grep -q '^orvex_line_up.* 1$'"
until_true 60 "12 modules in /metrics" sh -c "[ \$(curl -sf http://$ORVEX_LISTEN/metrics | grep -c '^orvex_module_present.* 1$') -eq 12 ]"
kill $monitor $sim
echo "ok: $command serves /metrics with 12 modules"
EOF
chmod 755 "$root/tmp/check.sh"
in_root runuser -u engineer -- env HOME=/home/engineer /tmp/check.sh
# The unit as systemd reads it, with the installed program and its man page.
in_root systemd-analyze verify orvex-monitor@ttyUSB0.service
echo "ok: systemd-analyze verify orvex-monitor@ttyUSB0.service"
echo "package-test: passed in $((SECONDS - start)) s"
