#!/usr/bin/env bash
# Takes screenshots of Dorrimel's Win32 options and log windows under Wine on
# a private X server (Xvfb), through the preview program that loads the
# built plugin.dll.
#
#   scripts/screenshot-plugin-win32.sh [output folder]   (default docs/screenshots)
#
# Writes win32-dorrimel-options.png and win32-dorrimel-log.png. BUILD_DIR
# (default build-win64) holds bin/plugin.dll and bin/dorrimel_preview.exe;
# BITS (default 64) is the Wine to run them with. The preview runs in a
# scratch folder, so the plug-in's dorrimel.ini and msgack.log stay out of
# the tree.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
out_dir="${1:-docs/screenshots}"
case "$out_dir" in /*) ;; *) out_dir="$root/$out_dir" ;; esac
build_dir="${BUILD_DIR:-build-win64}"
case "$build_dir" in /*) ;; *) build_dir="$root/$build_dir" ;; esac
bits="${BITS:-64}"
tool="$build_dir/bin/dorrimel_preview.exe"
plugin="$build_dir/bin/plugin.dll"

script=screenshot-plugin-win32.sh
. scripts/xvfb.sh
need Xvfb xvfb
need import imagemagick
need xwininfo x11-utils
for file in "$tool" "$plugin"; do
    if [ ! -f "$file" ]; then
        echo "screenshot-plugin-win32.sh: $file not found; build it first" \
            "(cmake --build --preset win$bits --target dorrimel_preview)" >&2
        exit 1
    fi
done

scratch="$(mktemp -d)"
xvfb_pid=""
app_pid=""
stop_app() {
    if [ -n "$app_pid" ]; then
        kill -TERM "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
        app_pid=""
    fi
}
cleanup() {
    stop_app
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
    if [ -n "${prefix:-}" ]; then
        WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
    fi
}
trap cleanup EXIT

start_xvfb 99 -dpi 96

# A Wine prefix of its own (made on the first run), in which the log
# window's "Courier New" is drawn with the installed DejaVu Sans Mono: Wine
# falls back to a proportional face for a font it does not have. Its
# wineserver is stopped at the end.
export SKELVANE_WINEPREFIX="/tmp/skelvane-wine-$(id -u)-x11-dorrimel"
prefix="$(bash "$root/scripts/wine-setup.sh" "$bits")"
WINEPREFIX="$prefix" WINEDEBUG=-all /usr/lib/wine/wine64 reg add \
    'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' /d 'DejaVu Sans Mono' /f \
    >/dev/null 2>&1
WINEPREFIX="$prefix" /usr/lib/wine/wineserver -w

# shot mode "window title" file: one window of the preview, alone on screen.
shot() {
    (cd "$scratch" && exec "$root/scripts/wine-run.sh" "$bits" "$tool" "$1") &
    app_pid=$!
    local wid=""
    for _ in $(seq 600); do
        wid="$(xwininfo -root -tree 2>/dev/null | awk -v t="\"$2\"" 'index($0, t) {print $1; exit}')"
        [ -n "$wid" ] && break
        sleep 0.1
    done
    [ -n "$wid" ] || { echo "screenshot-plugin-win32.sh: window '$2' did not appear" >&2; exit 1; }
    # Time for the acknowledgements the preview sends late, and for drawing.
    sleep 1
    import -window "$wid" "$out_dir/$3"
    echo "screenshot: $out_dir/$3"
    stop_app
}

mkdir -p "$out_dir"
shot options "Dorrimel v0.4 - Options - 123456789" win32-dorrimel-options.png
shot log "Dorrimel v0.4 - Log" win32-dorrimel-log.png
