#!/usr/bin/env bash
# Faults injected into the real program, as a school PC meets them. Each scenario starts the built
# program from its own copy of the program folder, under a virtual display with a tray host and a
# PulseAudio server whose null sink is recorded, injects its fault while the program runs, and
# judges what the sink heard: which entries rang, how often, and which stayed silent.
# Slow (one to four minutes a scenario), so not part of scripts/test.sh.
#
#   scripts/faults.sh                 every scenario
#   scripts/faults.sh NAME...         only these (scripts/faults.sh --list names them)
#
# The scenarios live in scripts/faults/*.sh, one file per kind of fault; each file registers its
# scenarios with add_scenario and ends each one with report_row. Environment: HALVIX_BUILD_DIR
# (default build), HALVIX_APP_DIR (default $HALVIX_BUILD_DIR/app); FAULTS_VERBOSE=1 prints the
# onsets heard in every scenario, not only in those that fail.
set -uo pipefail

FAULTS_HOME=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$FAULTS_HOME/lib/sound.sh"

: "${HALVIX_BUILD_DIR:=$HALVIX_ROOT/build}"
: "${HALVIX_APP_DIR:=$HALVIX_BUILD_DIR/app}"
FAULT_WORK=""
FAULT_LOG=""

# ---- Services and the work folder -------------------------------------------------------------

faults_begin() {
    [ -x "$HALVIX_APP_DIR/halvix" ] || { say "no program at $HALVIX_APP_DIR/halvix: build it first"; return 1; }
    FAULT_WORK=$(mktemp -d /tmp/halvix-faults-XXXXXX)
    FAULT_LOG=$FAULT_WORK/details.txt
    : >"$FAULT_LOG"
    start_missing_services && find_faketime
}

faults_end() {
    program_stop
    stop_services
    [ -n "$FAULT_WORK" ] && rm -rf "$FAULT_WORK"
}

# Written to the details file, which is printed for every scenario that fails.
note() { printf '%s\n' "$*" >>"$FAULT_LOG"; }

# ---- The program folder ----------------------------------------------------------------------

# program_folder NAME: a fresh copy of the built program folder, school week Monday to Friday,
# daily timetable, spring term. Prints its path.
program_folder() {
    local dir=$FAULT_WORK/$1
    copy_program_folder "$HALVIX_APP_DIR" "$dir"
    daily_spring "$dir"
    echo "$dir"
}

# ---- The running program, its clock and its sound ----------------------------------------------

PROGRAM_PID=""
PROGRAM_SURVIVED=""
FAKE_CLOCK_FILE=""
FAKE_OFFSETS=""  # "real-second offset" for every change of the program's clock

# fake_epoch "YYYY-MM-DD HH:MM:SS": the second of that local time in the zone $FAULT_TZ.
fake_epoch() { TZ=$FAULT_TZ date -d "$1" +%s; }

# set_fake_clock EPOCH: the program's clock reads EPOCH from now on, and runs on from there.
set_fake_clock() {
    local real offset
    real=$(now)
    offset=$(awk -v e="$1" -v n="$real" 'BEGIN { printf "%+.3f", e - n }')
    # Written whole, so the program never reads half a line.
    printf '%s\n' "$offset" >"$FAKE_CLOCK_FILE.new" && mv "$FAKE_CLOCK_FILE.new" "$FAKE_CLOCK_FILE"
    printf '%s %s\n' "$real" "$offset" >>"$FAKE_OFFSETS"
}

# The program's clock now, in seconds since the epoch.
fake_now() { awk -v n="$(now)" -v o="$(tail -n1 "$FAKE_OFFSETS" | cut -d' ' -f2)" 'BEGIN { printf "%.3f", n + o }'; }

# wait_for_fake "YYYY-MM-DD HH:MM:SS": sleeps until the program's clock reaches that time.
wait_for_fake() {
    sleep_until "$(awk -v t="$(fake_epoch "$1")" -v f="$(fake_now)" -v n="$(now)" 'BEGIN { printf "%.3f", n + t - f }')"
}

# program_start DIR "YYYY-MM-DD HH:MM:SS": records the sink, then starts the program in DIR with
# its clock at that local time of $FAULT_TZ.
program_start() {
    local dir=$1
    FAKE_CLOCK_FILE=$dir/clock.txt
    FAKE_OFFSETS=$dir/clock-changes.txt
    : >"$FAKE_OFFSETS"
    record_sink "$dir/sink.raw"
    sleep 0.5
    set_fake_clock "$(fake_epoch "$2")"
    # Monotonic time stays real, or the media pipeline stalls. The clock file is read at every
    # call, so the scenario can step the clock while the program runs; with FAKE_CLOCK_STEPS=no
    # the offset is fixed at the start and nothing is read (the soak, which counts open files).
    local clock=(FAKETIME_TIMESTAMP_FILE="$FAKE_CLOCK_FILE" FAKETIME_NO_CACHE=1)
    [ "${FAKE_CLOCK_STEPS:-yes}" = no ] && clock=(FAKETIME="$(cat "$FAKE_CLOCK_FILE")")
    start_program "$dir" "$dir/program-output.txt" TZ="$FAULT_TZ" "${clock[@]}"
    PROGRAM_PID=$program
}

# scenario_program FOLDER ZONE "YYYY-MM-DD HH:MM:SS" "TIME SOUND"...: the program started at that
# local time of ZONE from a fresh program folder whose plan for every day holds these rows; sets dir.
scenario_program() {
    FAULT_TZ=$2
    dir=$(program_folder "$1")
    plan_every_day "$dir" "${@:4}"
    program_start "$dir" "$3"
}

# clock_step AT TO: when the program's clock reaches AT, it is set to TO (both local times).
clock_step() {
    wait_for_fake "$1"
    set_fake_clock "$(fake_epoch "$2")"
}

program_alive() { [ -n "$PROGRAM_PID" ] && kill -0 "$PROGRAM_PID" 2>/dev/null; }

# Ends the program (SIGTERM, then SIGKILL) and the recorder (which sets record_start).
program_stop() {
    if [ -n "$PROGRAM_PID" ]; then
        if program_alive; then PROGRAM_SURVIVED=yes; else PROGRAM_SURVIVED=no; fi
        kill -CONT "$PROGRAM_PID" 2>/dev/null
        kill -TERM "$PROGRAM_PID" 2>/dev/null
        local i
        for i in $(seq 50); do program_alive || break; sleep 0.1; done
        program_alive && kill -KILL "$PROGRAM_PID" 2>/dev/null
        wait "$PROGRAM_PID" 2>/dev/null
        PROGRAM_PID=""
    fi
    stop_recording
}

# ---- Judging what was heard --------------------------------------------------------------------

# judge_rings SCENARIO "ring|silent YYYY-MM-DD HH:MM:SS"...: after program_stop, matches every
# onset of sound on the sink to the entries by the program's clock at that moment (an entry rings
# from its second to a minute after it) and adds the scenario's row to the summary.
judge_rings() {
    local name=$1 entries=$FAULT_WORK/$1-entries.txt line
    shift
    : >"$entries"
    for line in "$@"; do
        printf '%s %s %s\n' "${line%% *}" "$(fake_epoch "${line#* }")" "${line#* }" >>"$entries"
    done
    onset_times "$FAKE_OFFSETS" >"$FAULT_WORK/$name-onsets.txt"
    local verdict
    verdict=$(TZ=$FAULT_TZ python3 - "$FAULT_WORK/$name-onsets.txt" "$entries" 2>>"$FAULT_LOG" <<'PY'
import sys, time

onsets_file, entries_file = sys.argv[1], sys.argv[2]
onsets = [float(l.split()[0]) for l in open(onsets_file) if l.strip()]

entries = []
for l in open(entries_file):
    kind, epoch, text = l.split(" ", 2)
    entries.append([kind, int(epoch), text.strip(), 0])
unexpected = []
for heard in onsets:
    # The latest entry whose minute this is: one sound, one entry.
    candidates = [e for e in entries if e[1] - 0.5 <= heard < e[1] + 61]
    match = max(candidates, key=lambda e: e[1]) if candidates else None
    if match:
        match[3] += 1
    if not match or match[0] != "ring":
        unexpected.append(heard)
    shown = time.strftime("%Y-%m-%d %H:%M:%S %z", time.localtime(heard))
    print(f"sound began at {shown} +{heard % 1:.2f} s by the program's clock: "
          f"{match[2] if match else 'no entry'}", file=sys.stderr)
due = [e for e in entries if e[0] == "ring"]
rang = sum(1 for e in due if e[3] >= 1)
twice = sum(1 for e in entries if e[3] >= 2)
stalled = sum(1 for e in due if e[3] == 0)
silent_rang = sum(1 for e in entries if e[0] == "silent" and e[3])
for e in entries:
    print(f"  {e[0]:6} {e[2]}: heard {e[3]} time(s)", file=sys.stderr)
print(len(due), rang, twice, stalled, len(unexpected))
PY
    )
    local due rang twice stalled unexpected result=ok
    read -r due rang twice stalled unexpected <<<"${verdict:-0 0 0 0 0}"
    [ -n "$verdict" ] || result=FAILED
    [ "$rang" = "$due" ] && [ "$twice" = 0 ] && [ "$stalled" = 0 ] && [ "$unexpected" = 0 ] || result=FAILED
    [ "$due" -gt 0 ] || result=FAILED
    if [ "$PROGRAM_SURVIVED" != yes ]; then
        note "the program was no longer running at the end"
        result=FAILED
    fi
    report_row "$name" "$due" "$rang" "$twice" "$stalled" "$unexpected" "$result"
}

# ---- Scenarios and the summary -----------------------------------------------------------------

SCENARIO_NAMES=()
SCENARIO_FUNCTIONS=()
SUMMARY_ROWS=()
FAILED_SCENARIOS=0

# add_scenario NAME FUNCTION
add_scenario() {
    SCENARIO_NAMES+=("$1")
    SCENARIO_FUNCTIONS+=("$2")
}

# report_row SCENARIO DUE RANG TWICE STALLED UNEXPECTED RESULT: one line of the summary table.
report_row() {
    SUMMARY_ROWS+=("$(printf '%-28s %5s %5s %7s %8s %11s  %s' "$@")")
    printf '%s\n' "${SUMMARY_ROWS[-1]}"
    [ "$7" = ok ] || FAILED_SCENARIOS=$((FAILED_SCENARIOS + 1))
}

print_summary() {
    printf '\n%-28s %5s %5s %7s %8s %11s  %s\n' scenario due rang "twice" stalled unexpected result
    printf '%s\n' "${SUMMARY_ROWS[@]}"
}

run_scenario() {
    local name=$1 function=$2
    : >"$FAULT_LOG"
    say "scenario $name"
    local before=$FAILED_SCENARIOS
    "$function"
    program_stop
    if [ "$FAILED_SCENARIOS" -ne "$before" ] || [ -n "${FAULTS_VERBOSE:-}" ]; then
        echo "details of $name:"
        sed 's/^/    /' "$FAULT_LOG"
    fi
}

for scenario_file in "$FAULTS_HOME"/faults/*.sh; do
    source "$scenario_file"
done

main() {
    if [ "${1:-}" = --list ]; then
        printf '%s\n' "${SCENARIO_NAMES[@]}"
        return 0
    fi
    trap faults_end EXIT
    faults_begin || return 1
    local i wanted
    for i in "${!SCENARIO_NAMES[@]}"; do
        if [ $# -gt 0 ]; then
            for wanted in "$@"; do [ "$wanted" = "${SCENARIO_NAMES[$i]}" ] && break; done
            [ "$wanted" = "${SCENARIO_NAMES[$i]}" ] || continue
        fi
        run_scenario "${SCENARIO_NAMES[$i]}" "${SCENARIO_FUNCTIONS[$i]}"
    done
    print_summary
    [ "$FAILED_SCENARIOS" -eq 0 ]
}

# Sourced (by scripts/soak.sh), it only lends its helpers.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    main "$@"
fi
