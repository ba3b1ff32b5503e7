#!/usr/bin/env bash
# Installs every Debian 12 package that building, testing and running ORVEX Link needs.
# Quiet and quick when everything is there already.
set -euo pipefail
cd "$(dirname "$0")/.."

# The web page's npm packages, as the lock file has them; again only when it is newer.
npm_packages() {
    local modules=cockpit/node_modules
    [[ -f cockpit/package-lock.json ]] || return 0
    [[ -d $modules && ! cockpit/package-lock.json -nt $modules/.package-lock.json ]] && return
    echo "setup: npm ci in cockpit/"
    (cd cockpit && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
}

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-serialport-dev qt6-httpserver-dev qt6-websockets-dev
    qt6-webengine-dev libvterm-dev libgl-dev
    clang libclang-rt-14-dev clang-format llvm-14
    xvfb xauth fonts-dejavu-core curl ser2net
    openbox xdotool imagemagick x11-utils
    prometheus
    desktop-file-utils appstream man-db systemd
    openssh-server openssh-client
    cockpit-ws cockpit-bridge cockpit-system chromium
)
# This machine may have Node.js from elsewhere: Debian's only where there is none.
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && { npm_packages; exit 0; }

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "setup: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# The tests start Prometheus themselves; the package's own server is not wanted here.
if [[ " ${missing[*]} " == *" prometheus "* && -d /run/systemd/system ]]; then
    "${sudo[@]}" systemctl disable --now prometheus >/dev/null 2>&1 || true
fi
# Nor is an SSH server for this machine: the tests start their own on a loopback port.
if [[ " ${missing[*]} " == *" openssh-server "* && -d /run/systemd/system ]]; then
    "${sudo[@]}" systemctl disable --now ssh >/dev/null 2>&1 || true
fi
# Cockpit's own web service is not wanted here either: the tests start cockpit-ws themselves.
if [[ " ${missing[*]} " == *" cockpit-ws "* && -d /run/systemd/system ]]; then
    "${sudo[@]}" systemctl disable --now cockpit.socket >/dev/null 2>&1 || true
fi
npm_packages
