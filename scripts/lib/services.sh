# Packages, builds, and the services the program and its tests need: a virtual display with a tray
# host, a sound server whose default sink is a null sink, a session bus with the accessibility
# bus. Sourced, not run.
#
# HALVIX_SOUND_SERVER chooses the sound server started: pulseaudio (the default) or pipewire
# (PipeWire with its PulseAudio server pipewire-pulse and the session manager WirePlumber).

[ -n "${HALVIX_LIB_SERVICES:-}" ] && return 0
HALVIX_LIB_SERVICES=1
HALVIX_LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
HALVIX_ROOT=$(cd "$HALVIX_LIB/../.." && pwd)

HALVIX_PACKAGES=(
    build-essential cmake pkg-config
    libsqlite3-dev sqlite3
    qt6-base-dev qt6-base-dev-tools qt6-tools-dev-tools
    libgl-dev
    libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    libpulse-dev pulseaudio pulseaudio-utils sox libsox-fmt-all ffmpeg
    pipewire pipewire-pulse wireplumber
    xvfb xauth x11-utils xdotool trayer imagemagick faketime
    dbus-x11 at-spi2-core python3 python3-pyatspi python3-gi
    fonts-noto-cjk qt6-translations-l10n
    dpkg-dev file lintian desktop-file-utils appstream librsvg2-bin
    mosquitto mosquitto-clients libmosquitto-dev nlohmann-json3-dev libssl-dev openssl
    nodejs npm chromium libnss3-tools nginx
    strace
)

say() { printf 'halvix: %s\n' "$*"; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs every listed package that is not installed yet; silent when nothing is missing.
ensure_packages() {
    local missing=() p
    for p in "${HALVIX_PACKAGES[@]}"; do
        # A Node.js installed from elsewhere brings its own npm, which Debian's npm would conflict with.
        [ "$p" = npm ] && command -v npm >/dev/null && continue
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "installing ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# configure_and_build DIR [cmake options...]
configure_and_build() {
    local dir=$1 launcher=()
    shift
    # A compiler cache, where the machine has one, makes the second of the two builds cheap.
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$HALVIX_ROOT" -B "$dir" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON "${launcher[@]}" "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)" 2>&1 | grep -v -E '^\[ *[0-9]+%\]|^-- |Automatic MOC|Automatic UIC|Automatic RCC' || true
    [ "${PIPESTATUS[0]}" -eq 0 ]
}

HALVIX_SERVICE_PIDS=()
stop_services() {
    local pid
    for pid in "${HALVIX_SERVICE_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    HALVIX_SERVICE_PIDS=()
}

# A private virtual display of HALVIX_SCREEN_SIZE (1280x800 unless set); exports DISPLAY. The
# services run in sessions of their own, so a Ctrl+C in the terminal reaches the script and the
# program, which end first and then stop them.
start_display() {
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        setsid Xvfb ":$n" -screen 0 "${HALVIX_SCREEN_SIZE:-1280x800}x24" -nolisten tcp >/dev/null 2>&1 &
        HALVIX_SERVICE_PIDS+=($!)
        export DISPLAY=":$n"
        local i
        for i in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    done
    say "could not start a virtual display"
    return 1
}

# A notification area on the current display, so the tray icon has a host.
start_tray_host() {
    setsid trayer --edge top --align right --widthtype pixel --width 200 --height 32 --transparent false >/dev/null 2>&1 &
    HALVIX_SERVICE_PIDS+=($!)
    sleep 0.5
}

# serve_sound DIR LOG [NULL_SINK_ARGUMENTS]: a sound server of the kind HALVIX_SOUND_SERVER names,
# speaking the PulseAudio protocol on the socket DIR/native, its default sink a null sink (by
# default halvix_null), its messages in LOG.
serve_sound() {
    case "${HALVIX_SOUND_SERVER:-pulseaudio}" in
        pulseaudio) serve_pulseaudio "$@" ;;
        pipewire) serve_pipewire "$@" ;;
        *)
            say "HALVIX_SOUND_SERVER is pulseaudio or pipewire, not '$HALVIX_SOUND_SERVER'"
            return 1
            ;;
    esac
}

# Without norewinds the null sink rewinds when a new stream starts, and its monitor then loses or
# repeats up to a second: recordings would no longer keep time.
serve_pulseaudio() {
    XDG_RUNTIME_DIR=$1 setsid pulseaudio --daemonize=no --exit-idle-time=-1 -n --disallow-exit \
        --load="module-null-sink ${3:-sink_name=halvix_null} norewinds=1" \
        --load="module-native-protocol-unix socket=$1/native auth-anonymous=1" \
        --log-target=file:"$2" >/dev/null 2>&1 &
    HALVIX_SERVICE_PIDS+=($!)
    sound_server_up "unix:$1/native"
}

# True once the server at ADDRESS answers (within five seconds).
sound_server_up() {
    local i
    for i in $(seq 50); do PULSE_SERVER=$1 pactl info >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}

source "$HALVIX_LIB/pipewire.sh"

# Whether the server PULSE_SERVER names answers and is of the kind HALVIX_SOUND_SERVER asks for
# (any kind when it asks for none).
sound_server_answers() {
    [ -n "${PULSE_SERVER:-}" ] || return 1
    local name
    name=$(pactl info 2>/dev/null | sed -n 's/^Server Name: //p')
    [ -n "$name" ] || return 1
    case "${HALVIX_SOUND_SERVER:-}" in
        pipewire) [[ $name == *PipeWire* ]] ;;
        pulseaudio) [[ $name != *PipeWire* ]] ;;
        *) return 0 ;;
    esac
}

# A private sound server whose default sink is a null sink; exports PULSE_SERVER, XDG_RUNTIME_DIR
# (a fresh folder) and HALVIX_NULL_SINK.
start_sound_server() {
    local dir
    dir=$(mktemp -d /tmp/halvix-sound-XXXXXX)
    export XDG_RUNTIME_DIR=$dir
    export PULSE_SERVER="unix:$dir/native"
    export HALVIX_NULL_SINK=halvix_null
    serve_sound "$dir" "$dir/log" && return 0
    say "could not start a sound server (${HALVIX_SOUND_SERVER:-pulseaudio}; its log: $dir/log)"
    return 1
}

# A session bus with the accessibility bus, for tests that press buttons as a screen reader would.
start_session_bus() {
    eval "$(dbus-launch --sh-syntax)"
    HALVIX_SERVICE_PIDS+=("$DBUS_SESSION_BUS_PID")
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
}

# start_missing_services [bus]: a display with a tray host and a sound server unless the caller
# has them; with "bus", a session bus too. False when one cannot be started.
start_missing_services() {
    if [ -z "${DISPLAY:-}" ]; then
        start_display && start_tray_host || return 1
    fi
    sound_server_answers || start_sound_server || return 1
    if [ "${1:-}" = bus ] && [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
        start_session_bus
    fi
    return 0
}
