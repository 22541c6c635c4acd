#!/usr/bin/env bash
# The central's command line against a real broker with the campus's certificates: push publishes
# the plan once and its sounds, a second push finds nothing new; nodes reads the buildings'
# retained statuses and says when one is behind or offline; send addresses a building and prints
# its answer, or 无应答 when it gives none within the expiry.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$HALVIX_LIB/broker.sh"

root=halvix/test
port=$(free_port)
campus_files "$work/cert" "$port" --central office --node b1 --zones lab:实验楼 --node b2
start_broker "$work/cert" "$port" || exit 1
copy_app
cp -a "$work/cert/nodes/office/." "$app/"
halvix() { timeout 60 "$app/halvix" --folder "$app" "$@"; }
as() {
    local id=$1 tool=$2 certs=$work/cert/nodes/$1/certs
    shift 2
    timeout 10 "$tool" -h 127.0.0.1 -p "$port" -V mqttv5 --cafile "$certs/ca.crt" --cert "$certs/$id.crt" \
        --key "$certs/$id.key" "$@"
}
revision_on_broker() { as b1 mosquitto_sub -t "$root/snapshot" -C 1 -W 3 | python3 -c 'import json,sys; print(json.load(sys.stdin)["revision"])'; }

first=$(halvix campus push 2>&1)
status=$?
again=$(halvix campus push 2>&1)
[ $status -eq 0 ] && [[ $first == *"版本 1"* ]] && [[ $again == *"没有变化"* ]] && [ "$(revision_on_broker)" = 1 ] &&
    pass "push publishes the plan once: $first / $again" || fail "push: $first ($status) / $again"
sounds=$(as b1 mosquitto_sub -t "$root/sound/+" -F %t -W 2 2>/dev/null | sort -u | wc -l)
expected=$(find "$app/voic" -type f | wc -l)
[ "$sounds" -eq "$expected" ] && pass "every sound of voic/ is on the broker ($sounds)" ||
    fail "$sounds sounds on the broker, $expected in voic/"

status_of() { printf '{"format":1,"node":"%s","name":"%s","zones":["%s"],"online":%s,"revision":%s}' "$@"; }
as b1 mosquitto_pub -q 1 -r -t "$root/status/b1" -m "$(status_of b1 实验楼 lab true 1)"
as b2 mosquitto_pub -q 1 -r -t "$root/status/b2" -m "$(status_of b2 教学楼 teach true 1)"
healthy=$(halvix campus nodes 2>&1)
healthy_status=$?
as b2 mosquitto_pub -q 1 -r -t "$root/status/b2" -m '{"format":1,"node":"b2","online":false}'
offline=$(halvix campus nodes 2>&1)
offline_status=$?
[ $healthy_status -eq 0 ] && [[ $healthy == *"实验楼"*"在线"* ]] && [ $offline_status -eq 1 ] &&
    [[ $(grep '^b2' <<<"$offline") == *"离线"* ]] && pass "nodes: all well, then b2 offline (status 1)" ||
    fail "nodes: $healthy ($healthy_status) / $offline ($offline_status)"

# b1 answers the commands on its topic as a node does; b2 is away.
(
    command=$(as b1 mosquitto_sub -q 1 -t "$root/cmd/node/b1" -C 1 -W 20)
    id=$(python3 -c 'import json,sys; print(json.loads(sys.argv[1])["id"])' "$command")
    as b1 mosquitto_pub -q 1 -t "$root/ack/b1" -m "{\"format\":1,\"node\":\"b1\",\"command\":\"$id\",\"result\":\"已停止\",\"atMs\":1}"
) &
answerer=$!
sleep 1
sent=$(halvix campus send stop --node b1 2>&1)
sent_status=$?
wait $answerer
unanswered=$(halvix campus send stop --node b2 --expiry 2 2>&1)
unanswered_status=$?
[ $sent_status -eq 0 ] && [[ $sent == *"命令 office-"* ]] && [[ $(grep '^b1' <<<"$sent") == *"已停止"* ]] &&
    [ $unanswered_status -eq 1 ] && [[ $(grep '^b2' <<<"$unanswered") == *"无应答"* ]] &&
    pass "send prints each building's answer, or 无应答" || fail "send: $sent ($sent_status) / $unanswered ($unanswered_status)"

bad=$(halvix campus send play ../jbase.mdb --all 2>&1)
[ $? -eq 1 ] && [[ $bad == *"../jbase.mdb"* ]] && pass "a sound outside voic/ is refused before sending" || fail "bad sound: $bad"

[ "$failures" -eq 0 ]
