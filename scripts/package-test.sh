#!/usr/bin/env bash
# Installs the packages of dist/ (scripts/package.sh makes them) into a fresh Debian 12 root
# made with debootstrap from the Debian archive this machine uses, with `apt-get install
# ./*.deb` over a stand-in of orvex-tools 0.9 (the monitor's settings, changed: they must move
# with the change), and checks there, as an ordinary user in a home folder without the source tree:
# orvex-cli scans the demo head-end, its man page renders, the windows program starts under
# Xvfb from the menu entry's command line in its own data folder and opens its help, and
# orvex-agent started with the unit's command line, as another user in the group orvex the
# package made, serves /metrics and runs orvex-cli's commands for a member of that group
# (agent: by its socket, ssh:// through an sshd in the root), logging the change, and refuses
# a user outside it; Cockpit serves that member the page of orvex-cockpit. Needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ $(id -u) -ne 0 ]]; then
    exec sudo "$0" "$@"
fi
shopt -s nullglob
debs=(dist/*.deb)
[[ ${#debs[@]} -eq 3 ]] || { echo "package-test: run scripts/package.sh first" >&2; exit 1; }
if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi
start=$SECONDS
root=$(mktemp -d /var/tmp/orvex-root.XXXXXX)
chmod 755 "$root" # the root folder of the new system
sshd=
cleanup() {
    [[ -z $sshd ]] || kill "$sshd" 2>/dev/null || true
    [[ ! -s $root/tmp/agent/pid ]] || kill "$(cat "$root/tmp/agent/pid")" 2>/dev/null || true
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
# No package starts a service here (an sshd would take this machine's port 22).
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"

echo "package-test: apt-get install ./*.deb"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }
in_root apt-get update -qq
# A site of before the agent: orvex-tools 0.9 with the monitor's settings, changed there. The
# upgrade below moves them to /etc/orvex-agent/ with the change.
old=$root/tmp/old
mkdir -p "$old/DEBIAN" "$old/etc/orvex-monitor"
printf 'ORVEX_LISTEN=127.0.0.1:9188\nORVEX_BRIDGE=127.0.0.1:4001\nORVEX_INTERVAL=30\nORVEX_RESCAN=15\n' \
    >"$old/etc/orvex-monitor/orvex-monitor.env"
echo /etc/orvex-monitor/orvex-monitor.env >"$old/DEBIAN/conffiles"
printf 'Package: orvex-tools\nVersion: 0.9\nArchitecture: all\nMaintainer: test <t@example>\nDescription: before the agent\n' \
    >"$old/DEBIAN/control"
dpkg-deb -b "$old" "$root/tmp/old.deb" >/dev/null
in_root dpkg -i /tmp/old.deb >/dev/null
sed -i 's/^ORVEX_INTERVAL=30$/ORVEX_INTERVAL=20/' "$root/etc/orvex-monitor/orvex-monitor.env"
in_root sh -c 'cd /tmp/debs && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ./*.deb' \
    >"$root/tmp/install.log" 2>&1 || { tail -30 "$root/tmp/install.log"; exit 1; }
# What a person's desktop has besides: a manual reader, an X server to look at, systemd; and
# the site box an SSH server.
in_root sh -c 'DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    man-db xvfb xauth xdotool curl systemd openssh-server openssh-client' \
    >"$root/tmp/extra.log" 2>&1 || { tail -30 "$root/tmp/extra.log"; exit 1; }
in_root getent group orvex >/dev/null || { echo "package-test: no group orvex" >&2; exit 1; }
echo "ok: the package made the group orvex"
grep -qx ORVEX_INTERVAL=20 "$root/etc/orvex-agent/orvex-agent.env" &&
    [[ ! -e $root/etc/orvex-monitor/orvex-monitor.env ]] ||
    { echo "package-test: the settings did not move with their change" >&2; exit 1; }
echo "ok: the upgrade from 0.9 moved the changed settings to /etc/orvex-agent/orvex-agent.env"
# engineer may change the head-end, outsider may not; agentd stands for the unit's user, to
# whom systemd gives the folder /run/orvex-agent.
in_root useradd -m -s /bin/bash -G orvex engineer
in_root usermod -p '*' engineer # no password, but not locked: sshd takes the key
in_root useradd -m -s /bin/bash outsider
in_root useradd --system -G orvex agentd
install -d -m 755 -o "$(in_root id -u agentd)" "$root/run/orvex-agent" "$root/tmp/agent"

# The agent with the command line of its unit, on a simulated head-end at /dev/pts/N.
cat >"$root/tmp/agent.sh" <<'EOF'
#!/bin/bash
set -euo pipefail
cd /tmp/agent
echo $$ >pid
headend-sim --pty >sim.out 2>sim.log &
sim=$!
trap 'kill $sim ${agent:-}' EXIT
trap 'exit 0' TERM
until [[ -s sim.out ]]; do sleep 0.1; done
tty=$(head -1 sim.out)
# The instance as systemd names it (pts-3), and the device it names (%I: pts/3).
device=${tty#/dev/}
instance=$(systemd-escape "$device")
set -a
. /etc/orvex-agent/orvex-agent.env
set +a
command=$(sed -n 's/^ExecStart=//p' /lib/systemd/system/orvex-agent@.service)
command=${command//%I/$device}
command=${command//%i/$instance}
command=$(eval echo "$command")
echo "$command" >command
$command >agent.log 2>&1 &
agent=$!
echo "$instance" >instance
wait $agent
EOF
chmod 755 "$root/tmp/agent.sh"
in_root runuser -u agentd -- /tmp/agent.sh &

# An SSH server on a free loopback port of this machine, for ssh://engineer@localhost:PORT/.
listening() { grep -q "^ *[0-9]*: [0-9A-F]*:$(printf %04X "$1") [0-9A-F:]* 0A" /proc/net/tcp; }
port=$(shuf -i 30000-60999 -n 1)
while listening "$port"; do port=$(shuf -i 30000-60999 -n 1); done
mkdir -p "$root/run/sshd"
printf 'Port %s\nListenAddress 127.0.0.1\nUsePAM no\nPasswordAuthentication no\n' "$port" \
    >"$root/tmp/sshd_config"
[[ -s $root/etc/hosts ]] || echo "127.0.0.1 localhost" >"$root/etc/hosts"
# Not through in_root: $! is then sshd itself (chroot and env exec it), for cleanup.
chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin /usr/sbin/sshd -D -e \
    -f /tmp/sshd_config 2>"$root/tmp/sshd.log" &
sshd=$!
for _ in $(seq 100); do
    listening "$port" && break
    sleep 0.1
done
listening "$port" || { cat "$root/tmp/sshd.log"; exit 1; }
echo "$port" >"$root/tmp/sshd.port"

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

# The agent (agent.sh, run as agentd, a member of orvex as the unit's user is): its socket
# is the group's, and reaches the head-end for its members only.
agent=/tmp/agent
until_true 60 "the agent's socket" sh -c "test -S /run/orvex-agent/\$(cat $agent/instance).sock"
instance=$(cat $agent/instance)
socket=/run/orvex-agent/$instance.sock
[[ $(stat -c '%a %G' "$socket") == "660 orvex" ]] || fail "$socket: $(stat -c '%a %U %G' "$socket")"
set -a
. /etc/orvex-agent/orvex-agent.env
set +a
until_true 60 "12 modules in /metrics" sh -c "[ \$(curl -sf http://$ORVEX_LISTEN/metrics | grep -c '^orvex_module_present.* 1$') -eq 12 ]"
echo "ok: $(cat $agent/command) serves /metrics with 12 modules"
status=0
scan=$(orvex-cli --port "agent:$socket" scan 2>&1) || status=$?
[[ $status -le 1 && $(tail -1 <<<"$scan") == "12 Modules found" ]] || fail "scan through $socket: $scan"
echo "ok: orvex-cli --port agent:$socket scan finds 12 modules"

# The page, as Cockpit serves it to this user (a session of its own, on loopback).
/usr/lib/cockpit/cockpit-ws --local-session=cockpit-bridge --address 127.0.0.1 --port 9095 \
    >ws.log 2>&1 &
ws=$!
page=http://127.0.0.1:9095/cockpit/@localhost
until_true 30 "Head-end in Cockpit's menu" sh -c "curl -sf $page/manifests.json | grep -q '\"Head-end\"'"
for file in index.html orvex.js orvex.css tools.css xterm.css; do
    curl -sf -o /dev/null "$page/orvex/$file" || fail "cockpit-ws serves no orvex/$file: $(cat ws.log)"
done
kill $ws
echo "ok: cockpit-ws serves the page, Head-end in its menu"

# Through ssh, with a throw-away key: the change is logged with its user, the file comes here.
mkdir -m 700 ~/.ssh
ssh-keygen -q -t ed25519 -N '' -f ~/.ssh/id_ed25519
cp ~/.ssh/id_ed25519.pub ~/.ssh/authorized_keys
export ORVEX_SSH_COMMAND="ssh -o BatchMode=yes -o StrictHostKeyChecking=accept-new"
site=ssh://engineer@localhost:$(cat /tmp/sshd.port)/$instance
orvex-cli --port "$site" set 1/6 0 23 >set.out 2>&1 || fail "set through $site: $(cat set.out)"
grep -q "set 1/6 0 23 by engineer (uid $(id -u)): exit status 0" $agent/agent.log ||
    fail "no change logged: $(cat $agent/agent.log)"
orvex-cli --port "$site" save-config site.mmh >save.out 2>&1 || fail "save-config: $(cat save.out)"
[[ -s site.mmh ]] || fail "save-config through $site wrote no site.mmh here"
echo "ok: through $site: set, logged with its user, and save-config written here"
EOF
chmod 755 "$root/tmp/check.sh"
in_root runuser -u engineer -- env HOME=/home/engineer /tmp/check.sh
# Who is not in the group orvex does not reach the head-end.
socket=/run/orvex-agent/$(cat "$root/tmp/agent/instance").sock
status=0
said=$(in_root runuser -u outsider -- orvex-cli --port "agent:$socket" scan 2>&1) || status=$?
[[ $status -eq 3 && $said == *"cannot be reached"* ]] ||
    { echo "package-test: FAILED: outsider: $status $said" >&2; exit 1; }
echo "ok: a user outside the group orvex is refused"
# The unit as systemd reads it, with the installed program and its man page; and by its old
# name.
for unit in orvex-agent@ttyUSB0.service orvex-monitor@ttyUSB0.service; do
    in_root systemd-analyze verify "$unit"
    echo "ok: systemd-analyze verify $unit"
done
echo "package-test: passed in $((SECONDS - start)) s"
