#!/usr/bin/env bash
# The web console safe on a school network, against the broker and the page's server as
# campus-setup.sh configures them (web_security.js drives Debian's chromium):
#   - the set-up refuses a password under 8 characters and a --bind the WebSockets listener cannot
#     hold, and no password of a building or an account is on any command line it runs;
#   - with --bind, nothing of the broker or the page's server listens on another address;
#   - the page over HTTPS, its policy and types, a 管理员 session's limits, a refused browser;
#   - a wrong password leaves its address in the broker's log.
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
use_campus

node_modules=$HALVIX_BUILD_DIR/web/npm/node_modules
[ -f "$HALVIX_APP_DIR/web/index.html" ] && [ -d "$node_modules/playwright-core" ] ||
    { fail "the web console is not built (npm missing?)" && exit 1; }

campus_dir=$work/campus
campus_port=$(free_port) ws_port=$(free_port) page_port=$(free_port)
files=$campus_dir/files
mkdir -p "$campus_dir"
password=staff-pass-8
printf '%s\n' "$password" >"$work/staff.pass"
web=(--ws-port "$ws_port" --page-port "$page_port" --web "$HALVIX_APP_DIR/web")

# What the set-up refuses, each with its reason, writing nothing.
while IFS='|' read -r options reason; do
    read -ra options <<<"$options"
    printf '%s\n' "${options[-1]}" >"$work/short.pass"
    said=$("$HALVIX_ROOT/scripts/campus-setup.sh" --out "$work/refused" --campus test --host 127.0.0.1 \
        --central office "${web[@]}" "${options[@]:0:${#options[@]}-1}" </dev/null 2>&1) &&
        fail "set-up took ${options[*]}" ||
        { [[ $said == *"$reason"* ]] && pass "set-up refuses ${options[*]}" || fail "set-up said: $said"; }
    [ ! -e "$work/refused/broker/passwd" ] || fail "and wrote the password file"
done <<TABLE
--staff duty:值班 --password-file $work/short.pass 1234567|密码至少应有 8 个字符
--staff duty:值班 --password-file $work/short.pass x|密码至少应有 8 个字符
--staff duty:值班 --password-file $work/short.pass 七个汉字的密码|密码至少应有 8 个字符
--bind broker.school.lan --staff duty:值班 --password-file $work/short.pass long-enough|--bind 须为 IP 地址
TABLE

# The set-up as the broker's machine runs it, every program it starts traced: what `ps` could show.
trace=$work/setup.trace
strace -f -qq -e trace=execve -s 4096 -o "$trace" bash -c 'source "$1"; shift; campus_files "$@"' - \
    "$HALVIX_LIB/broker.sh" "$files" "$campus_port" --auth password --central office --node b1 "${web[@]}" \
    --staff duty:值班 --password-file "$work/staff.pass" --staff it:管理员 --password-file "$work/staff.pass" ||
    { fail "the set-up failed" && exit 1; }
grep -q 'execve(".*python3' "$trace" || fail "the trace saw no program of the set-up"
for secret in "$password" "$(cat "$files/nodes/b1/certs/b1.pass")" "$(cat "$files/nodes/office/certs/office.pass")"; do
    grep -qF -- "$secret" "$trace" && fail "a password is on a command line: $(grep -F -- "$secret" "$trace" | head -1)" ||
        pass "no command line of the set-up holds the password ${secret:0:4}…"
done
start_broker "$files" "$campus_port" && start_web "$files" || exit 1

# --bind 127.0.0.1: every socket the broker and the page's server listen on is on that address.
listening=$(ss -ltnpH | grep -E 'users:\(\("(mosquitto|nginx)"' | grep -E ":($campus_port|$ws_port|$page_port) ")
for port in "$campus_port" "$ws_port" "$page_port"; do
    grep -qE ":$port " <<<"$listening" && pass "port $port listens" || fail "nothing listens on $port: $listening"
done
elsewhere=$(awk '{ print $4 }' <<<"$listening" | grep -vE '^(127\.0\.0\.1|\[::ffff:127\.0\.0\.1\]):[0-9]+$')
[ -z "$elsewhere" ] && pass "--bind 127.0.0.1 holds for all three" || fail "listening elsewhere: $elsewhere"

export HOME=$work/home
campus_browser_home "$HOME" || exit 1
mkdir -p "$work/stranger"
WEB_PAGE="https://127.0.0.1:$page_port/" WEB_WS_PORT=$ws_port WEB_MQTT_PORT=$campus_port WEB_PASSWORD=$password \
    WEB_STRANGER_HOME=$work/stranger NODE_PATH=$node_modules timeout 180 node "$e2e_dir/web_security.js" ||
    fail "the page in the browser"

# The wrong password: refused, with the address it came from.
refused=$(grep -F 'Sending CONNACK to ::ffff:127.0.0.1 (0, 135)' "$files/broker.log")
[ "$(grep -c . <<<"$refused")" = 1 ] && pass "the broker's log shows the refused login and its address: ${refused#*: }" ||
    fail "refused logins in the broker's log: $(grep -F 'CONNACK' "$files/broker.log")"

campus_finish
