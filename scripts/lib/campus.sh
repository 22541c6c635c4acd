# A campus on this machine, for the whole-program tests and the demonstration: a broker on a free
# loopback port with the files scripts/campus-setup.sh makes, and program folders for the 主控 and
# the buildings (copies of a built program folder, each with its campus.ini and certificates), every
# building headless on a sink of its own that can be recorded. The sinks are channels of one null
# sink of one sound server, so that one recording holds every building on a single timeline and
# their onsets compare to the sample. Sourced, not run.
#
# Everything runs at one faked local time (campus_clock), a whole number of seconds from the real
# clock, so that the real moment of every faked second is known.

[ -n "${HALVIX_LIB_CAMPUS:-}" ] && return 0
HALVIX_LIB_CAMPUS=1
source "$(dirname "${BASH_SOURCE[0]}")/broker.sh"
source "$(dirname "${BASH_SOURCE[0]}")/sound.sh"

campus_dir=""           # the campus: files/ from campus-setup.sh, one program folder per id, outputs
campus_port=""          # the broker's TLS port
campus_root=halvix/test # the topics' root
campus_offset=0         # faked minus real seconds
campus_rate=22050       # samples a second of the recordings
campus_heartbeat=2      # seconds between a building's status reports
campus_keepalive=5      # seconds (the least the client library takes); offline after 1.5 times this
campus_channels=8       # of the null sink: the most buildings with a sink of their own
declare -gA campus_pid campus_recorder campus_record_start
declare -gA campus_channel=() campus_recording=()

# campus_up DIR SETUP-OPTIONS...: the campus files in DIR/files for the ids the options name, and
# the broker running (and the web console's page server, when the options ask for one); its log in
# DIR/files/broker.log.
campus_up() {
    campus_dir=$1
    shift
    campus_port=$(free_port)
    mkdir -p "$campus_dir"
    campus_files "$campus_dir/files" "$campus_port" "$@" || return 1
    start_broker "$campus_dir/files" "$campus_port" && start_web "$campus_dir/files"
}

# Stops the broker (the buildings ring on), and starts it again on the same port.
campus_broker_stop() {
    kill "$HALVIX_BROKER_PID" && wait "$HALVIX_BROKER_PID" 2>/dev/null
    return 0
}
campus_broker_start() { start_broker "$campus_dir/files" "$campus_port"; }

# campus_browser_home DIR: a home folder whose browser trusts the campus's authority as an office
# PC would (its certificate store), not by ignoring certificate errors.
campus_browser_home() {
    mkdir -p "$1/.pki/nssdb"
    certutil -d "sql:$1/.pki/nssdb" -N --empty-password &&
        certutil -d "sql:$1/.pki/nssdb" -A -t "C,," -n "halvix test campus" -i "$campus_dir/files/broker/ca.crt"
}

# campus_clock "YYYY-MM-DD HH:MM:SS": the local time every program of the campus starts at. Not
# before the certificates were made (they would not be valid yet). Without it: the real time.
campus_clock() {
    if [ $# -eq 0 ]; then
        campus_date=$(date +%F) campus_offset=0
        return
    fi
    campus_date=${1%% *}
    campus_offset=$(($(date -d "$1" +%s) - $(date +%s)))
}
# campus_real "HH:MM:SS" [DATE]: the real second of a faked local time.
campus_real() { echo $(($(date -d "${2:-$campus_date} $1" +%s) - campus_offset)); }

# campus_folder ID [FROM]: $campus_dir/ID, a copy of the program folder FROM (default the built
# one) with the building's campus.ini and certificates.
campus_folder() {
    copy_program_folder "${2:-$HALVIX_APP_DIR}" "$campus_dir/$1" || return 1
    cp -a "$campus_dir/files/nodes/$1/." "$campus_dir/$1/"
}

# campus_sink ID: the building's own sink, named ID: the next channel of the null sink
# halvix_campus of the campus's sound server (started by the first call, its socket
# $campus_dir/pulse/native). Kept off the session bus: a second server there would find the
# server's name taken and end.
campus_sink() {
    local bus=${DBUS_SESSION_BUS_ADDRESS-} c status=0
    if [ ${#campus_channel[@]} -eq 0 ]; then
        mkdir -p "$campus_dir/pulse"
        export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
        serve_sound "$campus_dir/pulse" "$campus_dir/pulse/log" \
            "sink_name=halvix_campus channels=$campus_channels channel_map=$(campus_channel_map) rate=$campus_rate" ||
            status=1
        DBUS_SESSION_BUS_ADDRESS=$bus
        [ $status -eq 0 ] || return 1
    fi
    c=${#campus_channel[@]}
    [ "$c" -lt "$campus_channels" ] || return 1
    campus_pactl load-module module-remap-sink sink_name="$1" master=halvix_campus channels=1 channel_map=mono \
        master_channel_map="aux$c" remix=no || return 1
    campus_channel[$1]=$c
}
campus_pulse() { echo "unix:$campus_dir/pulse/native"; }
# The null sink's channels, aux0 to aux7: positions no remixing mixes into one another.
campus_channel_map() { seq -s, -f 'aux%g' 0 $((campus_channels - 1)); }
campus_pactl() { PULSE_SERVER="$(campus_pulse)" pactl "$@" >/dev/null 2>&1; }

# campus_start ID [VARIABLE=VALUE...]: the building's program, headless on its own sink, at the
# campus's clock, through program_wrapper when set (see start_program); its output appended to
# $campus_dir/ID.txt.
campus_start() {
    local id=$1
    shift
    [ -n "${faketime_library:-}" ] || find_faketime || return 1
    env LD_PRELOAD="$faketime_library" FAKETIME_DONT_FAKE_MONOTONIC=1 FAKETIME="$(printf '%+ds' "$campus_offset")" \
        PULSE_SERVER="$(campus_pulse)" PULSE_SINK="$id" DISPLAY= WAYLAND_DISPLAY= HALVIX_CAMPUS_HEARTBEAT="$campus_heartbeat" \
        HALVIX_CAMPUS_KEEPALIVE="$campus_keepalive" "$@" ${program_wrapper[@]+"${program_wrapper[@]}"} \
        "$campus_dir/$id/halvix" --headless \
        >>"$campus_dir/$id.txt" 2>&1 &
    campus_pid[$id]=$!
}

# campus_kill ID [SIGNAL]: ends the building's program (SIGTERM unless said) and waits for it.
campus_kill() {
    local pid=${campus_pid[$1]:-}
    [ -n "$pid" ] || return 0
    # Neither a program already gone nor its killed status may end a caller under `set -e`
    # (campus_down runs from exit traps, before the broker and sound server are stopped).
    kill "-${2:-TERM}" "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    campus_pid[$1]=""
    return 0
}

# campus_halvix ID ARGS...: the command line on the building's folder, at the campus's clock.
campus_halvix() {
    local id=$1
    shift
    env LD_PRELOAD="$faketime_library" FAKETIME="$(printf '%+ds' "$campus_offset")" DISPLAY= \
        "$campus_dir/$id/halvix" --folder "$campus_dir/$id" "$@" 2>&1
}

# campus_record IDS...: records the buildings' sinks from now on, every channel in one recording.
campus_record() {
    local id file
    file=$campus_dir/recording-$(date +%s%N).raw
    PULSE_SERVER="$(campus_pulse)" parec -d halvix_campus.monitor --rate="$campus_rate" --channels="$campus_channels" \
        --channel-map="$(campus_channel_map)" --format=s16le --latency-msec=20 >"$file" &
    for id in "$@"; do
        campus_recorder[$id]=$!
        campus_recording[$id]=$file
    done
}

# campus_stop_recording IDS...: ends their recordings and reckons the real time of the first
# sample (the moment it ended less its length); each building's channel becomes $campus_dir/ID.raw.
campus_stop_recording() {
    local id ended
    for id in "$@"; do kill -INT "${campus_recorder[$id]}" 2>/dev/null || true; done
    ended=$(now)
    for id in "$@"; do
        wait "${campus_recorder[$id]}" 2>/dev/null || true
        campus_recorder[$id]=""
        python3 - "${campus_recording[$id]}" "$campus_channels" "${campus_channel[$id]}" <<'PY' >"$campus_dir/$id.raw"
import array, sys
frame = int(sys.argv[2])
samples = array.array("h")
data = open(sys.argv[1], "rb").read()
samples.frombytes(data[:len(data) // (2 * frame) * 2 * frame])  # a recorder stopped mid-frame
sys.stdout.buffer.write(samples[int(sys.argv[3])::frame].tobytes())
PY
        campus_record_start[$id]=$(awk -v e="$ended" -v b="$(stat -c %s "$campus_dir/$id.raw")" \
            -v r="$campus_rate" 'BEGIN { printf "%.3f", e - b / 2 / r }')
    done
}

# campus_onsets ID: after campus_stop_recording, "ONSET LENGTH" of every sound the building played.
campus_onsets() {
    python3 "$HALVIX_LIB/onsets.py" "$campus_dir/$1.raw" "$campus_rate" "${campus_record_start[$1]}"
}

# campus_quiet ID FROM TO: after campus_stop_recording, quiet_between on the building's recording.
campus_quiet() {
    python3 "$HALVIX_LIB/onsets.py" "$campus_dir/$1.raw" "$campus_rate" "${campus_record_start[$1]}" --quiet "$2" "$3"
}

# campus_level ID FROM TO FILTER: after campus_stop_recording, band_level of the building's recording.
campus_level() {
    [ -f "$campus_dir/$1.wav" ] ||
        sox -t raw -r "$campus_rate" -e signed -b 16 -c 1 "$campus_dir/$1.raw" "$campus_dir/$1.wav"
    band_level "$campus_dir/$1.wav" "${campus_record_start[$1]}" "$2" "$3" "$4"
}

# campus_as ID TOOL ARGS...: a mosquitto client (mosquitto_pub, mosquitto_sub) with the identity of
# ID (a building or the 主控), as campus-setup.sh made it; ended after campus_timeout seconds (20).
campus_as() {
    local id=$1 tool=$2 certs=$campus_dir/files/nodes/$1/certs
    shift 2
    timeout "${campus_timeout:-20}" "$tool" -h 127.0.0.1 -p "$campus_port" -V mqttv5 --cafile "$certs/ca.crt" \
        --cert "$certs/$id.crt" --key "$certs/$id.key" "$@"
}

# campus_listen FILE AS TOPICS...: what AS receives on TOPICS, one "real-time topic payload" a line,
# into FILE in the background until campus_unlisten; sets campus_listener.
campus_listen() {
    local file=$1 as=$2 topic args=()
    shift 2
    for topic in "$@"; do args+=(-t "$campus_root/$topic"); done
    campus_timeout=600 campus_as "$as" mosquitto_sub "${args[@]}" -F '%U %t %p' >"$file" 2>/dev/null &
    campus_listener=$!
    sleep 1 # subscribed
}
campus_unlisten() { pkill -TERM -P "$campus_listener" 2>/dev/null; }

# campus_status AS ID: the building's retained status, read by AS.
campus_status() { campus_as "$1" mosquitto_sub -t "$campus_root/status/$2" -C 1 -W 5 2>/dev/null; }

# campus_status_has ID TEXT: the building's retained status, read by the 主控, holds TEXT.
campus_status_has() { [[ $(campus_status office "$1") == *"$2"* ]]; }

# campus_publish_snapshot AS FILES: publishes FILES/sound/* and then FILES/snapshot.json (made by
# halvix_snapshot_files, perhaps spoilt since), retained, with the identity of AS; sets
# campus_published, the real time the snapshot itself went out.
campus_publish_snapshot() {
    local file
    for file in "$2"/sound/*; do
        [ -f "$file" ] && campus_as "$1" mosquitto_pub -q 1 -r -t "$campus_root/sound/${file##*/}" -f "$file"
    done
    campus_published=$(now)
    campus_as "$1" mosquitto_pub -q 1 -r -t "$campus_root/snapshot" -f "$2/snapshot.json"
}

# campus_republish_snapshot: the retained snapshot published again unchanged, as the 主控 (office):
# every building is offered the revision it holds once more.
campus_republish_snapshot() {
    campus_as office mosquitto_sub -t "$campus_root/snapshot" -C 1 -W 5 >"$campus_dir/retained-snapshot" 2>/dev/null &&
        campus_as office mosquitto_pub -q 1 -r -t "$campus_root/snapshot" -f "$campus_dir/retained-snapshot"
}

# campus_forget_sound FILE: the broker no longer keeps the bytes of FILE (their retained message cleared).
campus_forget_sound() {
    campus_as office mosquitto_pub -q 1 -r -n -t "$campus_root/sound/$(sha256sum "$1" | cut -d' ' -f1)"
}

# campus_now_ms: the campus's clock in milliseconds since 1970.
campus_now_ms() { echo $((($(date +%s%N) / 1000000) + campus_offset * 1000)); }

# campus_command ID NODE KIND EXPIRY [SOUND|DATE]: command ID of the 主控 (office) to NODE, on its topic.
campus_command() {
    local extra=""
    case $3 in
    play) extra=",\"sound\":\"$5\"" ;;
    mute | unmute) extra=",\"date\":\"$5\"" ;;
    esac
    campus_as office mosquitto_pub -q 1 -t "$campus_root/cmd/node/$2" -D publish message-expiry-interval "$4" \
        -m "{\"format\":1,\"id\":\"$1\",\"target\":\"node:$2\",\"kind\":\"$3\",\"issuedMs\":$(campus_now_ms),\"expiry\":$4$extra}"
}

# campus_acked FILE NODE COMMAND RESULT: FILE (from campus_listen) holds NODE's answer RESULT to COMMAND.
campus_acked() { grep -q "ack/$2 .*\"command\":\"$3\".*\"result\":\"$4\"" "$1"; }

# campus_finish IDS...: the exit status of a test; after a failure the buildings' output.
campus_finish() {
    local id
    if [ "$failures" -ne 0 ]; then
        for id in "$@"; do
            echo "--- $id"
            cat "$campus_dir/$id.txt"
        done
        exit 1
    fi
    echo "all checks passed"
}

# Ends every building's program, the recorders, the sound servers and the broker.
campus_down() {
    local id
    for id in "${!campus_pid[@]}"; do campus_kill "$id" KILL; done
    for id in "${!campus_recorder[@]}"; do [ -z "${campus_recorder[$id]}" ] || kill "${campus_recorder[$id]}" 2>/dev/null || true; done
    stop_services
}
