#!/usr/bin/env bash
# The real program left running as on a school PC: under a virtual display with a tray host and a
# PulseAudio null sink, with a plan that rings every minute (single files, whole-minute entries and
# a folder every fifth minute). Every SOAK_SAMPLE_SECONDS it samples the program's resident memory
# (VmRSS), open file descriptors and threads, prints them as a table, and says whether each stayed
# flat: the last quiet sample (no sound playing) within a small margin of the first quiet sample
# after the warm-up. The sink is recorded too, so the table ends with the rings heard.
#
#   scripts/soak.sh                        thirty minutes
#   SOAK_MINUTES=10 scripts/soak.sh
#   scripts/soak.sh COUNT                  COUNT kills instead (scripts/lib/kills.sh): the program
#                                          killed in its writes, its files judged after each
#   scripts/soak.sh --days N               only the bell's randomized days, N of them
#
# First, the bell's own randomized days: SOAK_BELL_DAYS (10000) simulated days of reloads, clock
# steps, sleeps, refused loads, 今日静音 and 恢复响铃, 停铃 days, plans replaced by the central,
# 立即播放, 停止播放 and emergencies, judged entry by entry (the test suite runs a few hundred).
#
# Environment: SOAK_MINUTES (30), SOAK_SAMPLE_SECONDS (30), SOAK_WARMUP_SECONDS (120),
# HALVIX_BUILD_DIR (default build), HALVIX_APP_DIR (default $HALVIX_BUILD_DIR/app).
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/faults.sh"
source "$HALVIX_LIB/procstat.sh"

: "${SOAK_MINUTES:=30}" "${SOAK_SAMPLE_SECONDS:=30}" "${SOAK_WARMUP_SECONDS:=120}"
# Allowed growth from the first quiet sample after the warm-up to the last.
RSS_MARGIN_KB=4096
FD_MARGIN=2
THREAD_MARGIN=2

# The program's clock: Wednesday 17 March 2027 from 08:59:40, entries on every minute's :00, so the
# samples at :40 and :10 of the program's minute fall before a sound and while one may play.
START_TEXT="2027-03-17 08:59:40"
FIRST_ENTRY="2027-03-17 09:00:00"

# The plan rows, one a minute for the whole run and a little after, as "TIME SOUND".
soak_plan() {
    local first m time sounds=(上课.mp3 下课.mp3 预备.mp3 早读.mp3 眼保健操.mp3)
    first=$(fake_epoch "$FIRST_ENTRY")
    for m in $(seq 0 $((SOAK_MINUTES + 1))); do
        time=$(TZ=$FAULT_TZ date -d "@$((first + m * 60))" +%H:%M:%S)
        case $((m % 5)) in
        2) echo "$time voic\\课间操" ;;
        4) echo "${time%:00} ${sounds[$((m / 5 % 5))]}" ;; # HH:MM: rings within its minute
        *) echo "$time ${sounds[$((m % 5))]}" ;;
        esac
    done
}

soak_bell_days() {
    local tests=${HALVIX_BUILD_DIR:-$HALVIX_ROOT/build}/tests/test_bell
    [ -x "$tests" ] || { echo "no $tests: build the tests first"; return 1; }
    HALVIX_BELL_DAYS=${SOAK_BELL_DAYS:-10000} "$tests" --gtest_filter='BellProperty.*' --gtest_brief=1
}

soak_main() {
    soak_bell_days || return 1
    trap faults_end EXIT
    faults_begin || return 1
    FAULT_TZ=Asia/Shanghai
    FAKE_CLOCK_STEPS=no
    local dir
    dir=$(program_folder soak)
    local rows=()
    mapfile -t rows < <(soak_plan)
    plan_every_day "$dir" "${rows[@]}"

    say "soak: $SOAK_MINUTES minutes, a sample every $SOAK_SAMPLE_SECONDS s (program folder $dir)"
    program_start "$dir" "$START_TEXT"
    local started samples=$dir/samples.txt
    started=$(now)
    : >"$samples"
    printf '%8s %9s %10s %5s %8s %8s\n' elapsed "program" "rss kB" fds threads "cpu s"
    local n=0 elapsed clock line
    while :; do
        elapsed=$((n * SOAK_SAMPLE_SECONDS))
        [ "$elapsed" -gt $((SOAK_MINUTES * 60)) ] && break
        sleep "$(awk -v s="$started" -v e="$elapsed" -v n="$(now)" 'BEGIN { d = s + e - n; printf "%.3f", (d > 0 ? d : 0) }')"
        if ! line=$(process_sample "$PROGRAM_PID"); then
            say "the program is no longer running"
            break
        fi
        clock=$(TZ=$FAULT_TZ date -d "@$(fake_now | cut -d. -f1)" +%H:%M:%S)
        echo "$elapsed $clock $line" >>"$samples"
        printf '%8s %9s %10s %5s %8s %8s\n' "$elapsed" "$clock" $line
        n=$((n + 1))
    done
    program_stop

    # Every entry from the first to the last whole minute of the run rings once.
    local entries=() first m
    first=$(fake_epoch "$FIRST_ENTRY")
    for m in $(seq 0 $((SOAK_MINUTES - 1))); do
        entries+=("ring $(TZ=$FAULT_TZ date -d "@$((first + m * 60))" '+%Y-%m-%d %H:%M:%S')")
    done
    judge_rings soak "${entries[@]}" >/dev/null
    local rings=${SUMMARY_ROWS[-1]}

    echo
    awk -v warm="$SOAK_WARMUP_SECONDS" -v rm=$RSS_MARGIN_KB -v fm=$FD_MARGIN -v tm=$THREAD_MARGIN '
        # Quiet samples: at :40 of the program minute, before the minute'"'"'s sound.
        { split($2, t, ":") }
        t[3] + 0 >= 30 && $1 >= warm {
            if (!base) { base = 1; r0 = $3; f0 = $4; h0 = $5; e0 = $1 }
            r1 = $3; f1 = $4; h1 = $5; e1 = $1
            n++; sx += $1; sy += $3; sxx += $1 * $1; sxy += $1 * $3
        }
        END {
            if (n < 2) { print "too few samples after the warm-up to judge"; exit 1 }
            slope = (n * sxy - sx * sy) / (n * sxx - sx * sx) * 3600
            printf "quiet samples after the warm-up: %d (from %d s to %d s)\n", n, e0, e1
            printf "resident memory   %8d kB -> %8d kB  (%+d kB, trend %+.0f kB/hour)  %s\n", r0, r1, r1 - r0, slope, r1 <= r0 + rm ? "flat" : "GROWING"
            printf "file descriptors  %8d    -> %8d     (%+d)  %s\n", f0, f1, f1 - f0, f1 <= f0 + fm ? "flat" : "GROWING"
            printf "threads           %8d    -> %8d     (%+d)  %s\n", h0, h1, h1 - h0, h1 <= h0 + tm ? "flat" : "GROWING"
            exit !(r1 <= r0 + rm && f1 <= f0 + fm && h1 <= h0 + tm)
        }' "$samples"
    local flat=$?
    printf '\n%-28s %5s %5s %7s %8s %11s  %s\n' run due rang "twice" stalled unexpected result
    echo "$rings"
    [ "$flat" -eq 0 ] && [ "$FAILED_SCENARIOS" -eq 0 ]
}

case "${1:-}" in
--days) SOAK_BELL_DAYS=${2:?--days N} soak_bell_days ;;
[0-9]*)
    source "$HALVIX_LIB/kills.sh"
    : "${HALVIX_BUILD_DIR:=$HALVIX_ROOT/build}" "${HALVIX_APP_DIR:=$HALVIX_BUILD_DIR/app}"
    trap stop_services EXIT
    start_missing_services && kill_rounds "$1"
    ;;
"") soak_main ;;
*)
    echo "usage: scripts/soak.sh [COUNT | --days N]" >&2
    exit 2
    ;;
esac
