#!/usr/bin/env bash
# A whole session in under a minute, with or without a display: the sandbox
# service, Skelvane with Dorrimel from a scratch folder, two receivers signed
# on at the sandbox and a sender signed on through Skelvane. The sender asks
# for acks on two messages; the sandbox withholds the ack of the second, and
# Dorrimel's notification comes back to the sender.
#
#   tools/demo.sh [NOTIFY_TYPE]     NOTIFY_TYPE 1..4 (default 1), see README
#
# Headless by default; DEMO_SHOW=1 shows the program's window on the display.
# DEMO_CLASSIC=1 signs the sender on the classic way (one channel-1 frame,
# answered on channel 4) instead of with the MD5 key exchange.
# BIN_DIR names the program folder to use (default build/bin; built if needed).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bin=${BIN_DIR:-$root/build/bin}
notify=${1:-1}
[[ $notify =~ ^[1-4]$ ]] || { echo "usage: tools/demo.sh [1|2|3|4]" >&2; exit 2; }

bash scripts/install-deps.sh demo  # python3 picks free ports below
if [[ ! -x $bin/skelvane || ! -x $bin/oscar-sandbox || ! -x $bin/oscar-client || ! -f $bin/plugin.so ]]; then
    echo "=== building (needed once) ==="
    bash scripts/build-program.sh demo
fi

work=$(mktemp -d /tmp/skelvane-demo.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
}
trap cleanup EXIT

# Waits up to $3 seconds for a line matching $2 in file $1; gives up (and
# the demo with it) unless $4 is "soft".
wait_for() {
    local deadline=$((SECONDS + $3))
    until grep -q -- "$2" "$1" 2>/dev/null; do
        if ((SECONDS >= deadline)); then
            [[ ${4:-} == soft ]] && return 0
            echo "demo: gave up waiting for \"$2\" in $1" >&2
            exit 1
        fi
        sleep 0.1
    done
}
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

echo "=== sandbox service (acks withheld for 33333) ==="
"$bin/oscar-sandbox" --no-ack-for 33333 >"$work/sandbox.log" 2>&1 &
pids+=($!)
wait_for "$work/sandbox.log" "^sandbox: login server on" 10
sandbox_login=$(sed -n 's/^sandbox: login server on 127\.0\.0\.1:\([0-9]*\),.*/\1/p' "$work/sandbox.log")
head -2 "$work/sandbox.log"

echo "=== Skelvane with Dorrimel (NotifyType $notify) in $work/program ==="
mkdir "$work/program"
cp -a "$bin/skelvane" "$bin/plugin.so" "$work/program/"
proxy_login=$(free_port)
proxy_chat=$(free_port)
printf '%s\r\n' "HostLoginIP = 127.0.0.1" "HostLoginPort = $proxy_login" "ServerLoginIP = 127.0.0.1" \
    "ServerLoginPort = $sandbox_login" "HostChatIP = 127.0.0.1" "HostChatPort = $proxy_chat" \
    >"$work/program/skelvane.ini"
printf '%s\n' "TimerInterval = 500" "WaitTimeout = 2000" "RemoveTimeout = 10000" \
    "NotifyType = $notify" "LogFile = 1" >"$work/program/dorrimel.ini"
if [[ ${DEMO_SHOW:-0} == 1 && -n ${DISPLAY:-} ]]; then
    platform=${QT_QPA_PLATFORM:-xcb}
else
    platform=offscreen
fi
(cd / && QT_QPA_PLATFORM=$platform exec "$work/program/skelvane" >"$work/skelvane.out" 2>&1) &
pids+=($!)
wait_for "$work/program/dump.log" "Await client-login connect at " 15
echo "listening for the client at 127.0.0.1:$proxy_login, login server 127.0.0.1:$sandbox_login"

echo "=== receivers 22222 and 33333 sign on at the sandbox ==="
for uin in 22222 33333; do
    "$bin/oscar-client" --login "127.0.0.1:$sandbox_login" --uin "$uin" --until-messages 1 \
        --wait-ms 20000 >"$work/client-$uin.log" 2>&1 &
    pids+=($!)
done
wait_for "$work/sandbox.log" "22222 online" 10
wait_for "$work/sandbox.log" "33333 online" 10

sign_on=()
how="the MD5 key exchange"
if [[ ${DEMO_CLASSIC:-0} == 1 ]]; then
    sign_on=(--classic)
    how="the classic sign-on"
fi
echo "=== sender 11111 signs on through Skelvane ($how) and sends two messages ==="
"$bin/oscar-client" --login "127.0.0.1:$proxy_login" --uin 11111 "${sign_on[@]}" --ack \
    --send "22222:Hello from the Skelvane demo" --send "33333:This one is never acknowledged" \
    --until-messages 1 --wait-ms 15000 | tee "$work/client-11111.log" | sed 's/^/  11111| /'
status=${PIPESTATUS[0]}

echo "=== what the receivers got ==="
grep -h "^message from" "$work/client-22222.log" "$work/client-33333.log" | sed 's/^/  /' || true
echo "=== what the sandbox did with the messages ==="
grep "4/6 from" "$work/sandbox.log" | sed 's/^/  /' || true

echo "=== the notification ==="
if notice=$(grep -E "^(offline )?message from .*\[\[Dorrimel: " "$work/client-11111.log"); then
    echo "  $notice"
else
    echo "  none came back (sender exit status $status)"
    status=1
fi

# Let Skelvane see the sender leave before everything stops.
wait_for "$work/program/dump.log" "Client-chat disconnected" 5 soft
cleanup
pids=()
echo "=== logs ==="
echo "  sandbox:                $work/sandbox.log"
echo "  Skelvane (dump.log):    $work/program/dump.log"
echo "  Dorrimel (msgack.log):  $work/program/msgack.log"
echo "  clients:                $work/client-11111.log $work/client-22222.log $work/client-33333.log"
exit "$status"
