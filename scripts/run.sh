#!/usr/bin/env bash
# Installs what is missing, builds in Release, prepares the program folder and starts the program.
# On a machine without a display it brings its own virtual display, tray host and sound sink.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/program.sh"
cd "$HALVIX_ROOT"

ensure_packages
configure_and_build build-release -DCMAKE_BUILD_TYPE=Release -DHALVIX_BENCH=OFF
app=$HALVIX_ROOT/build-release/app

if [ ! -x "$app/halvix" ]; then
    say "program folder ready: $app"
    exit 0
fi

trap stop_services EXIT
if [ -z "${DISPLAY:-}" ]; then
    start_display
    say "no display: started a virtual display on $DISPLAY"
    start_tray_host
    say "started a tray host (trayer) on $DISPLAY"
fi
if ! pactl info >/dev/null 2>&1; then
    start_sound_server
    say "no sound server: started PulseAudio with a null sink ($HALVIX_NULL_SINK)"
fi

say "starting $app/halvix (Ctrl+C ends it)"
"$app/halvix" &
program=$!
# Ctrl+C reaches the program too; it ends cleanly on SIGINT and SIGTERM alike.
trap 'kill $program 2>/dev/null; wait $program 2>/dev/null; stop_services' EXIT
trap 'exit 130' INT TERM

shot=$HALVIX_ROOT/build-release/halvix-window.png
for i in $(seq 120); do
    if window_visible; then
        sleep 1 # let it paint
        if import -window root "$shot" 2>/dev/null; then
            say "screenshot of the window: $shot"
        fi
        break
    fi
    kill -0 $program 2>/dev/null || break
    sleep 0.25
done
wait $program
