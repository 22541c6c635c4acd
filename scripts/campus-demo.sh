#!/usr/bin/env bash
# A campus on this one machine, to try before installing one anywhere: a broker on loopback with
# its own certificate authority, the central (办公室) with its window, and two buildings (教学楼,
# 实验楼) running headless, each with a null sound sink of its own. Ctrl+C stops them all.
#
#   scripts/campus-demo.sh [FOLDER]    # FOLDER (default: a new one under /tmp) keeps the campus
#
# HALVIX_APP_DIR names a program folder already built (then nothing is installed or built).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/program.sh"
source "$HALVIX_LIB/broker.sh"
cd "$HALVIX_ROOT"

if [ -n "${HALVIX_APP_DIR:-}" ]; then
    app=$HALVIX_APP_DIR
else
    ensure_packages
    configure_and_build build-release -DCMAKE_BUILD_TYPE=Release -DHALVIX_BENCH=OFF
    app=$HALVIX_ROOT/build-release/app
fi
demo=${1:-$(mktemp -d /tmp/halvix-campus-XXXXXX)}
mkdir -p "$demo"

programs=()
stop_all() {
    local pid
    for pid in "${programs[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${programs[@]}"; do wait "$pid" 2>/dev/null || true; done
    stop_services
}
trap stop_all EXIT
trap 'exit 130' INT TERM

port=$(free_port)
campus_files "$demo/files" "$port" --central office --name 办公室 \
    --node jxl --name 教学楼 --zones teach:教学楼 --node syl --name 实验楼 --zones lab:实验楼
start_broker "$demo/files" "$port"
say "broker on 127.0.0.1:$port (TLS), its log: $demo/files/broker.log"

# Each place gets a program folder of its own: the build's defaults and its campus.ini and keys.
for id in office jxl syl; do
    [ -f "$demo/$id/jbase.mdb" ] || copy_program_folder "$app" "$demo/$id"
    cp -a "$demo/files/nodes/$id/." "$demo/$id/"
done

if [ -z "${DISPLAY:-}" ]; then
    start_display
    start_tray_host
    say "no display: started a virtual display on $DISPLAY"
fi
for id in jxl syl; do
    mkdir -p "$demo/$id-sound"
    # Kept off the session bus, where a second sound server would find its name taken and end.
    DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent serve_sound "$demo/$id-sound" "$demo/$id-sound/log"
    PULSE_SERVER="unix:$demo/$id-sound/native" "$app/halvix" --folder "$demo/$id" --headless \
        2>>"$demo/$id.log" &
    programs+=($!)
    say "building $id: folder $demo/$id, sound server unix:$demo/$id-sound/native, notices in $demo/$id.log"
done
"$app/halvix" --folder "$demo/office" &
central=$!
programs+=($central)
say "central office: folder $demo/office (its window is open)"
say "try:  $app/halvix --folder $demo/office campus nodes"
say "      $app/halvix --folder $demo/office campus send play 上课.mp3 --zone lab"
say "Ctrl+C (or closing the central) stops the broker, the central and both buildings"
wait "$central"
