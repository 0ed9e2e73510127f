#!/usr/bin/env bash
# Takes a screenshot of skelvane.exe's main window under Wine on a private X
# server (Xvfb).
#
#   scripts/screenshot-win32.sh [output.png]   (default docs/screenshots/win32-main-window.png)
#
# BIN_DIR (default build-win64/bin) names the folder with skelvane.exe, BITS
# (default 64) the Wine to run it with. The program runs from a scratch copy
# of that folder, so its settings and dump files stay out of the build. Once
# the window is captured, Wine's taskkill closes it as the close button would.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
out="${1:-docs/screenshots/win32-main-window.png}"
case "$out" in /*) ;; *) out="$root/$out" ;; esac
bin_dir="${BIN_DIR:-build-win64/bin}"
bits="${BITS:-64}"

script=screenshot-win32.sh
. scripts/xvfb.sh
need Xvfb xvfb
need import imagemagick
need xdotool xdotool
if [ ! -f "$bin_dir/skelvane.exe" ]; then
    echo "screenshot-win32.sh: $bin_dir/skelvane.exe not found; build it first (cmake --build --preset win64)" >&2
    exit 1
fi

scratch="$(mktemp -d)"
xvfb_pid=""
app_pid=""
prefix=""
cleanup() {
    if [ -n "$app_pid" ]; then
        # Still running: end this prefix's Wine processes.
        WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT
cp -r "$bin_dir/." "$scratch/"

start_xvfb 97

# With DISPLAY set, wine-setup.sh picks (and if needed creates) the x11 prefix.
prefix="$(bash scripts/wine-setup.sh "$bits")"
export WINEPREFIX="$prefix" WINEDEBUG=-all
(cd "$scratch" && exec bash "$root/scripts/wine-run.sh" "$bits" ./skelvane.exe) &
app_pid=$!

# Wait for the window, then for the first tick to have opened the listener
# (or to have failed to, when port 5190 is taken on this machine).
wid=""
for _ in $(seq 600); do
    wid="$(xdotool search --onlyvisible --name "Skelvane" 2>/dev/null | head -n 1 || true)"
    [ -n "$wid" ] && break
    sleep 0.1
done
[ -n "$wid" ] || { echo "screenshot-win32.sh: the main window did not appear" >&2; exit 1; }
for _ in $(seq 300); do
    grep -qE "Await client-login connect at|Sok_bind failed" "$scratch/dump.log" 2>/dev/null && break
    sleep 0.1
done
# One more tick shows the open listener in the status list.
sleep 0.5

mkdir -p "$(dirname "$out")"
import -window "$wid" "$out"

# Close the window (WM_CLOSE: the settings are saved), then wait for the program.
loader=/usr/lib/wine/wine64
[ "$bits" = 32 ] && loader=/usr/lib/wine/wine
"$loader" taskkill /im skelvane.exe >/dev/null 2>&1 || true
rc=0
wait "$app_pid" || rc=$?
app_pid=""
WINEPREFIX="$prefix" timeout 30 /usr/lib/wine/wineserver -w 2>/dev/null || true
[ -f "$scratch/skelvane.ini" ] || { echo "screenshot-win32.sh: closing did not save skelvane.ini" >&2; rc=1; }
echo "screenshot: $out (skelvane.exe exited with $rc)"
[ "$rc" -eq 0 ]
