#!/usr/bin/env bash
# Takes screenshots of Dorrimel's options and log windows on a private X
# server (Xvfb), through the preview tool that loads the built plugin.so.
#
#   scripts/screenshot-plugin.sh [output folder]      (default docs/screenshots)
#
# Writes dorrimel-options.png and dorrimel-log.png. BUILD_DIR (default build)
# holds bin/plugin.so and tools/dorrimel_preview. The tool runs in a scratch
# folder, so the plug-in's dorrimel.ini and msgack.log stay out of the tree.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
out_dir="${1:-docs/screenshots}"
case "$out_dir" in /*) ;; *) out_dir="$root/$out_dir" ;; esac
build_dir="${BUILD_DIR:-build}"
case "$build_dir" in /*) ;; *) build_dir="$root/$build_dir" ;; esac
tool="$build_dir/tools/dorrimel_preview"
plugin="$build_dir/bin/plugin.so"

script=screenshot-plugin.sh
. scripts/xvfb.sh
need Xvfb xvfb
need import imagemagick
need xwininfo x11-utils
for file in "$tool" "$plugin"; do
    if [ ! -x "$file" ] && [ ! -f "$file" ]; then
        echo "screenshot-plugin.sh: $file not found; build it first (cmake --build build)" >&2
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
}
trap cleanup EXIT

start_xvfb 99 -dpi 96
export QT_QPA_PLATFORM=xcb

# shot mode "window title" file: one window of the preview tool, alone on screen.
shot() {
    (cd "$scratch" && exec "$tool" "$1" "$plugin") &
    app_pid=$!
    local wid=""
    for _ in $(seq 100); do
        wid="$(xwininfo -root -tree 2>/dev/null | awk -v t="\"$2\"" 'index($0, t) {print $1; exit}')"
        [ -n "$wid" ] && break
        sleep 0.1
    done
    [ -n "$wid" ] || { echo "screenshot-plugin.sh: window '$2' did not appear" >&2; exit 1; }
    # Time for the acknowledgements the tool sends late to arrive.
    sleep 1
    import -window "$wid" "$out_dir/$3"
    echo "screenshot: $out_dir/$3"
    stop_app
}

mkdir -p "$out_dir"
shot options "Dorrimel v0.4 - Options - 123456789" dorrimel-options.png
shot log "Dorrimel v0.4 - Log" dorrimel-log.png
