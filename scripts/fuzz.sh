#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs them one after the other from the committed seed
# corpus (fuzz/corpus/<target>), each for a number of runs or a time. Prints one line per target
# with its runs and rate; exits non-zero when any target found a crash, a hang or a sanitizer
# report (the reproducer is kept in build-fuzz/findings/).
#
#   scripts/fuzz.sh                       every target for FUZZ_SECONDS (60) seconds
#   scripts/fuzz.sh --runs 10000000       every target for ten million runs
#   scripts/fuzz.sh --seconds 600 Ping Report
#   scripts/fuzz.sh --runs 10000000 --seconds 300   whichever comes first
#   scripts/fuzz.sh --jobs 2 --runs 10000000 Database   one target on two cores (libFuzzer's fork
#                                         mode: the runs of all its jobs count together)
#   scripts/fuzz.sh --keep ...            then adds to each target's seeds the inputs that reach
#                                         code they do not, minimized (files up to 4 KiB)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/services.sh"
cd "$HALVIX_ROOT"

limit=()
keep=no
names=()
while [ $# -gt 0 ]; do
    case $1 in
    --runs) limit+=(-runs="$2"); shift 2 ;;
    --seconds) limit+=(-max_total_time="$2"); shift 2 ;;
    --jobs) limit+=(-fork="$2"); shift 2 ;;
    --keep) keep=yes; shift ;;
    -*) echo "usage: scripts/fuzz.sh [--runs N | --seconds S] [--jobs N] [--keep] [TARGET...]" >&2; exit 2 ;;
    *) names+=("$1"); shift ;;
    esac
done
[[ " ${limit[*]-} " == *" -runs="* || " ${limit[*]-} " == *" -max_total_time="* ]] ||
    limit+=(-max_total_time="${FUZZ_SECONDS:-60}")

HALVIX_PACKAGES+=(clang libclang-rt-14-dev)
ensure_packages

dir=$HALVIX_ROOT/build-fuzz
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ configure_and_build "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVIX_FUZZ=ON \
    -DHALVIX_WITH_UI=OFF -DHALVIX_BENCH=OFF -DHALVIX_TESTS=OFF ${launcher[@]+"${launcher[@]}"}

mkdir -p "$dir/findings"
status=0
printf '%-13s %11s %9s %8s %7s %s\n' target runs "runs/s" cover corpus result
for target in "$dir"/fuzz/fuzz_*; do
    name=${target##*/fuzz_}
    name=${name%Fuzz}
    [ ${#names[@]} -eq 0 ] || [[ " ${names[*]} " == *" $name "* ]] || continue
    seeds=$HALVIX_ROOT/fuzz/corpus/$(echo "$name" | tr 'A-Z' 'a-z')
    work=$dir/corpus/$name
    mkdir -p "$work" "$seeds"
    log=$dir/findings/$name.log
    started=$(date +%s.%N)
    set +e
    "$target" "$work" "$seeds" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -artifact_prefix="$dir/findings/$name-" -print_final_stats=1 >"$log" 2>&1
    rc=$?
    set -e
    seconds=$(awk -v s="$started" -v e="$(date +%s.%N)" 'BEGIN { printf "%.0f", e - s }')
    # A single process prints its final count; fork mode prints a running total per finished job.
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' ||
        grep -oE '^#[0-9]+: cov' "$log" | grep -oE '[0-9]+' | sort -n | tail -1 || echo 0)
    cover=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo 0)
    if [ $rc -eq 0 ] && [ $keep = yes ]; then
        # The inputs of this run that reach code the seeds do not (edges, not counts), minimized,
        # added to the seeds: the corpus in git stays small.
        "$target" -merge=1 -use_counters=0 -max_len=4096 "$seeds" "$work" >>"$log" 2>&1
    fi
    corpus=$(find "$seeds" -type f | wc -l)
    if [ $rc -eq 0 ]; then result=clean; else result="FAILED (see $log)"; status=1; fi
    printf '%-13s %11s %9s %8s %7s %s\n' "$name" "${runs:-0}" "$(( ${runs:-0} / (seconds > 0 ? seconds : 1) ))" \
        "${cover:-0}" "$corpus" "$result"
done
exit $status
