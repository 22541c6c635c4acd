#!/usr/bin/env bash
# The campus broker as campus-setup.sh configures it, with mosquitto's own clients standing in for
# the central and two buildings: each building gets the commands meant for it, also those sent
# while it was offline, but none that expired; a building cannot command another, publish a plan,
# speak for another in its status or last will, or connect without its own identity; the password
# set-up does the same with passwords.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$HALVIX_LIB/broker.sh"

root=halvix/test
port=$(free_port)
campus_files "$work/cert" "$port" --central office --node b1 --zones lab:实验楼 --node b2 --zones teach:教学楼
start_broker "$work/cert" "$port" || exit 1

# as ID TOOL ARGS...: a mosquitto client with the building's (or the central's) certificate.
as() {
    local id=$1 tool=$2 certs=$work/cert/nodes/$1/certs
    shift 2
    timeout 10 "$tool" -h 127.0.0.1 -p "$port" -V mqttv5 --cafile "$certs/ca.crt" --cert "$certs/$id.crt" \
        --key "$certs/$id.key" "$@"
}
# The commands a building's persistent session holds: subscribe once, then collect what waits.
subscribe_commands() { as "$1" mosquitto_sub -c -i "$1-session" -q 1 -t "$root/cmd/node/$1" -t "$root/cmd/zone/$2" -t "$root/cmd/all" "${@:3}"; }
collect_commands() { subscribe_commands "$1" "$2" -W 2 2>/dev/null | sort; }

subscribe_commands b1 lab -E
subscribe_commands b2 teach -E
as office mosquitto_pub -q 1 -t "$root/cmd/node/b1" -m to-b1
as office mosquitto_pub -q 1 -t "$root/cmd/zone/lab" -m to-lab
as office mosquitto_pub -q 1 -t "$root/cmd/all" -m to-all
as office mosquitto_pub -q 1 -t "$root/cmd/node/b1" -m expired -D publish message-expiry-interval 1
forged=$(as b1 mosquitto_pub -q 1 -t "$root/cmd/node/b2" -m forged-by-b1 2>&1)
sleep 2
got_b1=$(collect_commands b1 lab | tr '\n' ' ')
got_b2=$(collect_commands b2 teach | tr '\n' ' ')
[ "$got_b1" = "to-all to-b1 to-lab " ] && pass "b1 got its own, its zone's and everyone's commands after a reconnect, not the expired one" ||
    fail "b1 got: $got_b1"
[ "$got_b2" = "to-all " ] && pass "b2 got only the command to everyone" || fail "b2 got: $got_b2"
[[ $forged == *"Not authorized"* ]] && pass "b1's command on b2's topic was refused" || fail "forged publish: $forged"

as office mosquitto_pub -q 1 -r -t "$root/snapshot" -m plan-from-office
refused=$(as b1 mosquitto_pub -q 1 -r -t "$root/snapshot" -m plan-from-b1 2>&1)
plan=$(as b1 mosquitto_sub -t "$root/snapshot" -C 1 -W 3 2>&1)
[ "$plan" = plan-from-office ] && [[ $refused == *"Not authorized"* ]] &&
    pass "only the central publishes the plan" || fail "snapshot now: $plan ($refused)"

as office mosquitto_sub -t "$root/status/+" -v -C 1 -W 5 >"$work/status" 2>&1 &
listener=$!
sleep 1
as b1 mosquitto_pub -q 1 -t "$root/status/b1" -m online
refused=$(as b1 mosquitto_pub -q 1 -t "$root/status/b2" -m b2-is-fine 2>&1)
wait "$listener"
[ "$(cat "$work/status")" = "$root/status/b1 online" ] && [[ $refused == *"Not authorized"* ]] &&
    pass "a building reports its own status and no other's" || fail "status: $(cat "$work/status") ($refused)"

# Clock answers: each building reads its own, and pings only as itself.
as b1 mosquitto_sub -t "$root/pong/b1" -t "$root/pong/b2" -v -C 1 -W 5 >"$work/pong" 2>&1 &
listener=$!
sleep 1
as office mosquitto_pub -q 1 -t "$root/pong/b2" -m for-b2
as office mosquitto_pub -q 1 -t "$root/pong/b1" -m for-b1
refused=$(as b1 mosquitto_pub -q 1 -t "$root/ping/b2" -m as-b2 2>&1)
wait "$listener"
[ "$(cat "$work/pong")" = "$root/pong/b1 for-b1" ] && [[ $refused == *"Not authorized"* ]] &&
    pass "a building reads only its own clock answers and pings only as itself" ||
    fail "pong: $(cat "$work/pong") ($refused)"

# A building that vanishes leaves the broker its last will on its own status, and on no other's.
# leave_will ID TOPIC PAYLOAD: a building's client that stays connected, started straight (no
# timeout in between), so that killing it leaves the will.
leave_will() {
    local certs=$work/cert/nodes/$1/certs
    mosquitto_sub -h 127.0.0.1 -p "$port" -V mqttv5 --cafile "$certs/ca.crt" --cert "$certs/$1.crt" \
        --key "$certs/$1.key" -t "$root/cmd/all" --will-topic "$2" --will-payload "$3" --will-retain \
        --will-qos 1 >/dev/null 2>&1 &
}
leave_will b1 "$root/status/b1" offline
will=$!
leave_will b2 "$root/status/b1" forged-by-b2
forged_will=$!
sleep 1
# b2's forged will would come last and stay.
{
    kill -KILL "$will" && sleep 0.5 && kill -KILL "$forged_will"
    wait "$will" "$forged_will"
} 2>/dev/null
sleep 1
status=$(as office mosquitto_sub -t "$root/status/b1" -C 1 -W 3 2>&1)
[ "$status" = offline ] && pass "a building killed is shown offline by its last will" || fail "status after the kill: $status"

plain=$(timeout 10 mosquitto_sub -h 127.0.0.1 -p "$port" -V mqttv5 -t '#' -C 1 -W 3 2>&1)
[ $? -ne 0 ] && pass "a plaintext connection to the TLS port is refused" || fail "plaintext: $plain"

campus_files "$work/other" "$port" --central office --node b1
stranger=$(timeout 10 mosquitto_sub -h 127.0.0.1 -p "$port" -V mqttv5 --cafile "$work/cert/broker/ca.crt" \
    --cert "$work/other/nodes/b1/certs/b1.crt" --key "$work/other/nodes/b1/certs/b1.key" -t "$root/#" -C 1 -W 3 2>&1)
[ $? -ne 0 ] && pass "a certificate of another authority is refused" || fail "foreign certificate: $stranger"
stop_services

# The same campus with passwords instead of certificates.
port=$(free_port)
campus_files "$work/pass" "$port" --auth password --central office --node b1 --zones lab:实验楼
start_broker "$work/pass" "$port" || exit 1
with_password() {
    timeout 10 mosquitto_sub -h 127.0.0.1 -p "$port" -V mqttv5 --cafile "$work/pass/broker/ca.crt" -u b1 -P "$1" \
        -t "$root/snapshot" -C 1 -W 3 2>&1
}
as_office() {
    timeout 10 mosquitto_pub -h 127.0.0.1 -p "$port" -V mqttv5 --cafile "$work/pass/broker/ca.crt" -u office \
        -P "$(cat "$work/pass/nodes/office/certs/office.pass")" "$@"
}
as_office -q 1 -r -t "$root/snapshot" -m plan-by-password
[ "$(with_password "$(cat "$work/pass/nodes/b1/certs/b1.pass")")" = plan-by-password ] &&
    pass "a building reads the plan with its password" || fail "the password was not taken"
wrong=$(with_password wrong-password)
[[ $wrong == *"Connection error: Not authorized"* ]] &&
    pass "a wrong password is refused" || fail "wrong password: $wrong"
grep -q "^password_file" "$work/pass/broker/mosquitto.conf" && [ "$(stat -c %a "$work/pass/nodes/b1/certs/b1.pass")" = 600 ] &&
    [ "$(stat -c %a "$work/cert/nodes/b1/certs/b1.key")" = 600 ] && pass "keys and passwords are private" ||
    fail "key or password file readable by others"

[ "$failures" -eq 0 ]
