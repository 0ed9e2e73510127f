#!/usr/bin/env bash
# Takes a screenshot of Skelvane's main window on a private X server (Xvfb).
#
#   scripts/screenshot.sh [output.png]      (default docs/screenshots/main-window.png)
#
# The program runs from a scratch copy of the build's bin folder (BIN_DIR,
# default build/bin), so its settings and dump files stay out of the build.
# It is closed with SIGTERM afterwards, as the close button would.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
out="${1:-docs/screenshots/main-window.png}"
case "$out" in /*) ;; *) out="$root/$out" ;; esac
bin_dir="${BIN_DIR:-build/bin}"

script=screenshot.sh
. scripts/xvfb.sh
need Xvfb xvfb
need import imagemagick
need xwininfo x11-utils
if [ ! -x "$bin_dir/skelvane" ]; then
    echo "screenshot.sh: $bin_dir/skelvane not found; build it first (cmake --build build)" >&2
    exit 1
fi

scratch="$(mktemp -d)"
xvfb_pid=""
app_pid=""
cleanup() {
    if [ -n "$app_pid" ]; then
        kill -TERM "$app_pid" 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT
cp -r "$bin_dir/." "$scratch/"

start_xvfb 99
export QT_QPA_PLATFORM=xcb

(cd "$scratch" && exec ./skelvane) &
app_pid=$!

# Wait for the window, then give the first ticks time to open the listener.
wid=""
for _ in $(seq 100); do
    wid="$(xwininfo -root -tree 2>/dev/null | awk '/"Skelvane \(beta\)/ {print $1; exit}')"
    [ -n "$wid" ] && break
    sleep 0.1
done
[ -n "$wid" ] || { echo "screenshot.sh: the main window did not appear" >&2; exit 1; }
sleep 1

mkdir -p "$(dirname "$out")"
import -window "$wid" "$out"

kill -TERM "$app_pid"
rc=0
wait "$app_pid" || rc=$?
app_pid=""
echo "screenshot: $out (skelvane exited with $rc)"
[ "$rc" -eq 0 ]
