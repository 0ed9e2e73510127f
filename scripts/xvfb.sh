# Shared by the screenshot scripts, which source it: checks for the tools
# they need and starts their private X server. The caller sets `script` to
# its own name for the messages and ends $xvfb_pid when it is done.

need() {  # command, package
    if ! command -v "$1" >/dev/null 2>&1; then
        echo "$script: '$1' not found; install the Debian package '$2'" >&2
        exit 1
    fi
}

# start_xvfb FIRST [Xvfb options...]: an Xvfb on the first free display
# from :FIRST up, 800x600 in 24 bits; sets xvfb_pid and exports DISPLAY.
start_xvfb() {
    local n="$1"
    shift
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do
        n=$((n + 1))
    done
    Xvfb ":$n" -screen 0 800x600x24 "$@" -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.1
    done
    [ -e "/tmp/.X11-unix/X$n" ] || { echo "$script: Xvfb did not start on :$n" >&2; exit 1; }
    export DISPLAY=":$n"
    unset WAYLAND_DISPLAY
}
