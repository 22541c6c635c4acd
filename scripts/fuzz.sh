#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (FUZZ_SECONDS, default
# 60) from the committed seed corpus. Prints one line per target; exits non-zero when any target
# found a crash, a hang or a sanitizer report (the reproducer is kept in build-fuzz/findings/).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/services.sh"
cd "$HALVIX_ROOT"

HALVIX_PACKAGES+=(clang libclang-rt-14-dev)
ensure_packages

seconds=${FUZZ_SECONDS:-60}
dir=$HALVIX_ROOT/build-fuzz
CC=clang CXX=clang++ configure_and_build "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVIX_FUZZ=ON \
    -DHALVIX_WITH_UI=OFF -DHALVIX_BENCH=OFF -DHALVIX_TESTS=OFF

mkdir -p "$dir/findings"
status=0
printf '%-10s %10s %8s %8s %s\n' target runs cover corpus result
for target in "$dir"/fuzz/fuzz_*; do
    name=${target##*/fuzz_}
    name=${name%Fuzz}
    seeds=$HALVIX_ROOT/fuzz/corpus/$(echo "$name" | tr 'A-Z' 'a-z')
    work=$dir/corpus/$name
    mkdir -p "$work"
    log=$dir/findings/$name.log
    set +e
    "$target" "$work" "$seeds" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -artifact_prefix="$dir/findings/$name-" -print_final_stats=1 >"$log" 2>&1
    rc=$?
    set -e
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
    cover=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo 0)
    corpus=$(find "$work" -type f | wc -l)
    if [ $rc -eq 0 ]; then result=clean; else result="FAILED (see $log)"; status=1; fi
    printf '%-10s %10s %8s %8s %s\n' "$name" "${runs:-0}" "${cover:-0}" "$corpus" "$result"
done
exit $status
