# A campus broker for tests and demonstrations: mosquitto on a free loopback port with the files
# scripts/campus-setup.sh writes. Sourced, not run; stopped with the other services.

[ -n "${HALVIX_LIB_BROKER:-}" ] && return 0
HALVIX_LIB_BROKER=1
source "$(dirname "${BASH_SOURCE[0]}")/services.sh"

# A TCP port on loopback that nothing listens on now.
free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# campus_files DIR PORT [campus-setup options...]: a campus "test" on 127.0.0.1:PORT in DIR, the
# broker running as the current user.
campus_files() {
    local dir=$1 port=$2
    shift 2
    "$HALVIX_ROOT/scripts/campus-setup.sh" --out "$dir" --campus test --host 127.0.0.1 --port "$port" \
        --bind 127.0.0.1 --broker-user "$(id -un)" "$@" >/dev/null
}

# start_broker DIR PORT: mosquitto with DIR/broker/mosquitto.conf, its log in DIR/broker.log;
# returns once it listens on PORT.
start_broker() {
    local dir=$1 port=$2 i
    setsid mosquitto -c "$dir/broker/mosquitto.conf" >>"$dir/broker.log" 2>&1 &
    HALVIX_SERVICE_PIDS+=($!)
    HALVIX_BROKER_PID=$!
    for i in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
        kill -0 "$HALVIX_BROKER_PID" 2>/dev/null || break
        sleep 0.1
    done
    say "the broker did not start: $(tail -3 "$dir/broker.log")"
    return 1
}

# start_web DIR: the web server of the duty office's page (nginx, DIR/broker/web.conf), when the
# set-up wrote one, its output in DIR/web.log; returns once it listens.
start_web() {
    local dir=$1 port i
    [ -f "$dir/broker/web.conf" ] || return 0
    port=$(awk '$1 == "listen" { n = split($2, part, ":"); print part[n] }' "$dir/broker/web.conf")
    setsid nginx -e stderr -c "$dir/broker/web.conf" -g 'daemon off;' >>"$dir/web.log" 2>&1 &
    HALVIX_SERVICE_PIDS+=($!)
    for i in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
        sleep 0.1
    done
    say "the web server did not start: $(tail -3 "$dir/web.log")"
    return 1
}

# deaf_broker KIND: a loopback port where no broker answers, held open by a process of its own until
# the services stop; sets deaf_port. KIND black-hole: it listens with its queue of connections full
# and never accepts, so the kernel drops every SYN, as for a host whose packets vanish; mute: it
# takes connections and never says a word (a TLS handshake waits for ever).
deaf_broker() {
    local ready
    ready=$(mktemp)
    python3 - "$1" "$ready" <<'PY' &
import signal, socket, sys, time
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(0 if sys.argv[1] == "black-hole" else 64)
port = listener.getsockname()[1]
fillers = []
for _ in range(2 if sys.argv[1] == "black-hole" else 0):  # a backlog of 0 holds one; the next stays half-open
    filler = socket.socket()
    filler.setblocking(False)
    filler.connect_ex(("127.0.0.1", port))
    fillers.append(filler)
time.sleep(0.1)
open(sys.argv[2], "w").write(str(port))
signal.pause()
PY
    HALVIX_SERVICE_PIDS+=($!)
    local i
    for i in $(seq 50); do
        [ -s "$ready" ] && break
        sleep 0.1
    done
    deaf_port=$(cat "$ready")
    rm -f "$ready"
    [ -n "$deaf_port" ]
}
