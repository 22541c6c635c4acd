#!/usr/bin/env bash
# An import while the bell runs on the folder reaches the running bell. The real executable starts
# from a copy of the program folder on Wednesday 12 March 2025 at 10:00:00 with one entry at
# 10:00:40 that plays 上课.mp3; once its window is up, `halvix import zccjtime` replaces that entry
# with one at the same second that plays 下课.mp3. Checks that the import says the running bell read
# the plan again, and by the recorded sink that 下课.mp3 rings at the entry's second.
#
# Needs a display with a tray host, a PulseAudio server and a session bus (scripts/test.sh starts
# them); brings its own when run alone. Environment: HALVIX_APP_DIR, HALVIX_BUILD_DIR (the
# recording and the program's output go to e2e-artifacts/).
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_services
wednesday_entry 10:00:40 上课.mp3
printf '序号,日期,时间,事件,声音,状态,备注,\r\n1,星期三,10:00:40,第一节下课,下课.mp3,待完,,\r\n' |
    iconv -f utf-8 -t gb18030 >"$work/plan.csv"

launch_recorded "2025-03-12 10:00:00" "$artifacts/import-running-program-output.txt"
wait_for 60 window_visible || fail "the window never appeared"

out=$(env -u DISPLAY "$app/halvix" import zccjtime "$work/plan.csv" 2>&1)
status=$?
imported=$(now)
echo "$out" >"$artifacts/import-running-cli-output.txt"
if [ "$status" -eq 0 ] && grep -q '运行中的程序已重新载入' <<<"$out"; then
    pass "the import told the running bell, $(seconds_between "$imported" "$entry_real") s before the entry"
else
    fail "import: status $status: $out"
fi
expect_rows=$(sqlite3 "$app/jbase.mdb" "select 时间, 声音 from zccjtime")
[ "$expect_rows" = "10:00:40|下课.mp3" ] && pass "zccjtime holds the imported row" || fail "zccjtime: $expect_rows"

entry_sound_heard "$app/voic/下课.mp3"

kill -TERM "$program"
ends_cleanly "SIGTERM"

finish import-running-
