# A private PipeWire sound server (pipewire, pipewire-pulse, wireplumber) that looks to its clients as
# the PulseAudio one of services.sh does: the PulseAudio protocol on DIR/native, a null sink as the
# default sink, its monitor recorded at the level played. Sourced by services.sh, not run.

[ -n "${HALVIX_LIB_PIPEWIRE:-}" ] && return 0
HALVIX_LIB_PIPEWIRE=1

# serve_pipewire DIR LOG [NULL_SINK_ARGUMENTS]: the three processes with DIR as their runtime,
# configuration and state folder, so nothing of the user's own sound session is read or changed;
# kept off the display and the session bus, which they run without. Their pids go to
# HALVIX_SERVICE_PIDS (stop_services ends them).
serve_pipewire() {
    local dir=$1 log=$2 sink_arguments=${3:-sink_name=halvix_null} sink
    sink=$(sed -n 's/.*sink_name=\([^ ]*\).*/\1/p' <<<"$sink_arguments")
    write_pipewire_config "$dir" || return 1
    local process
    for process in pipewire wireplumber pipewire-pulse; do
        env -u DISPLAY -u WAYLAND_DISPLAY -u PIPEWIRE_RUNTIME_DIR -u PIPEWIRE_REMOTE \
            DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent XDG_RUNTIME_DIR="$dir" \
            XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state" \
            setsid "$process" >>"$log" 2>&1 &
        HALVIX_SERVICE_PIDS+=($!)
        # The session manager and the PulseAudio server connect to pipewire's socket.
        [ "$process" = pipewire ] && ! wait_for_file "$dir/pipewire-0" && return 1
    done
    sound_server_up "unix:$dir/native" || return 1
    local pactl=(env PULSE_SERVER="unix:$dir/native" pactl)
    # shellcheck disable=SC2086 # the module's arguments are words
    "${pactl[@]}" load-module module-null-sink $sink_arguments >>"$log" 2>&1 || return 1
    # The session manager keeps the default: until it is ready the choice is refused, and once it
    # is taken it shows a moment later.
    local i
    for i in $(seq 50); do
        "${pactl[@]}" set-default-sink "$sink" >/dev/null 2>&1 &&
            [ "$("${pactl[@]}" get-default-sink 2>/dev/null)" = "$sink" ] && return 0
        sleep 0.1
    done
    say "the sound server did not take $sink as its default sink"
    return 1
}

wait_for_file() {
    local i
    for i in $(seq 50); do [ -e "$1" ] && return 0; sleep 0.1; done
    return 1
}

# write_pipewire_config DIR: the configuration under DIR/config, beside the system's.
write_pipewire_config() {
    local config=$1/config
    mkdir -p "$config/pipewire/pipewire-pulse.conf.d" "$config/wireplumber/main.lua.d" \
        "$config/wireplumber/bluetooth.lua.d" || return 1
    # The socket where the PulseAudio server's is expected. A mono recording of the stereo monitor
    # takes the mean of its channels, as PulseAudio does: PipeWire's own mix adds them at -3 dB
    # each, which would record a sound 3 dB louder than it plays.
    cat >"$config/pipewire/pipewire-pulse.conf.d/halvix.conf" <<EOF
pulse.properties = {
    server.address = [ "unix:$1/native" ]
}
stream.properties = {
    channelmix.normalize = true
}
EOF
    # No devices but the null sink: a sound card, camera or Bluetooth device of the machine would
    # become the default. No portal: its permission store is on the session bus. (Read before the
    # system's 90-enable-all.lua, which starts what is enabled.)
    cat >"$config/wireplumber/main.lua.d/60-halvix.lua" <<'EOF'
alsa_monitor.enabled = false
v4l2_monitor.enabled = false
libcamera_monitor.enabled = false
default_access.properties["enable-flatpak-portal"] = false
EOF
    echo 'bluez_monitor.enabled = false' >"$config/wireplumber/bluetooth.lua.d/60-halvix.lua"
}
