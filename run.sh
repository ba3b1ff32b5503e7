#!/usr/bin/env bash
# Set-up, build, and start ORVEX Link on the built-in demo head-end.
#   ./run.sh            needs a display ($DISPLAY or $WAYLAND_DISPLAY)
#   ./run.sh --xvfb     runs under a virtual X server instead (nothing visible; for checks)
# The demo runs in demo-run/, so that your own OXL.ini and OXLCom.ini are never touched.
set -euo pipefail
cd "$(dirname "$0")"
xvfb=0
args=()
for a in "$@"; do
    case "$a" in
        --xvfb) xvfb=1 ;;
        *) args+=("$a") ;;
    esac
done
if [[ $xvfb -eq 0 && -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "run.sh: no display found (DISPLAY is not set). Start it from a desktop session," >&2
    echo "        or run './run.sh --xvfb' to start it under a virtual X server." >&2
    exit 1
fi
scripts/setup.sh
scripts/build.sh build
mkdir -p demo-run
cd demo-run
if [[ ! -f OXLCom.ini ]]; then
    printf '[ComPort]\nPort=DEMO\n' > OXLCom.ini
fi
[[ -d Help ]] || ln -s ../Help Help
[[ $(id -u) -eq 0 ]] && export QTWEBENGINE_DISABLE_SANDBOX=1
if [[ $xvfb -eq 1 ]]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" ../build/bin/orvex-link "${args[@]}"
fi
exec ../build/bin/orvex-link "${args[@]}"
