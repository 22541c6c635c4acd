#!/usr/bin/env bash
# Builds in Release and runs every benchmark: the core's (repeated, median and spread), the bell's
# real-time figures (tick lateness, time to sound), the running program's (start-up, memory, CPU)
# and an accelerated run of whole days. Prints one table and writes it to docs/performance.md.
#
# Knobs: BENCH_REPETITIONS (5), TICK_SECONDS (300), SOUND_TRIALS (20), ACCELERATED_DAYS (7),
# PROGRAM_MINUTES (10: how long the program's memory is followed).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/services.sh"
cd "$HALVIX_ROOT"

repetitions=${BENCH_REPETITIONS:-5}
tick_seconds=${TICK_SECONDS:-300}
sound_trials=${SOUND_TRIALS:-20}
days=${ACCELERATED_DAYS:-7}
program_minutes=${PROGRAM_MINUTES:-10}

ensure_packages
build=$HALVIX_ROOT/build-bench
say "build (Release)"
configure_and_build "$build" -DCMAKE_BUILD_TYPE=Release -DHALVIX_TESTS=OFF

trap stop_services EXIT
start_display
start_tray_host
start_sound_server

out=$build/bench-results
rm -rf "$out"
mkdir -p "$out"

say "core benchmarks ($repetitions repetitions each)"
for bench in "$build"/bench/bench_*; do
    [ -f "$bench" ] && [ -x "$bench" ] || continue
    case $bench in *UiBench) continue ;; esac
    "$bench" --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true \
        --benchmark_format=json --benchmark_out="$out/${bench##*/}.json" --benchmark_out_format=json \
        >/dev/null
done

say "tick lateness over $tick_seconds s"
"$build/bench/bench_TickUiBench" "$tick_seconds" >"$out/tick.txt"
say "firing to first audible sample ($sound_trials trials per format)"
"$build/bench/bench_SoundStartUiBench" "$sound_trials" >"$out/sound.txt" 2>/dev/null
say "accelerated days ($days)"
"$build/bench/bench_AcceleratedDayUiBench" "$build/app" "$days" >"$out/accelerated.txt" 2>/dev/null
say "the running program (about $((program_minutes + 2)) minutes)"
bench/startup.sh "$build" "$program_minutes" >"$out/program.txt" 2>&1

python3 - "$out" "$HALVIX_ROOT/docs/performance.md" "$repetitions" <<'PY'
import glob, json, os, re, statistics, sys, datetime
out, target, reps = sys.argv[1], sys.argv[2], sys.argv[3]
rows = []

def add(figure, value, spread, aim=""):
    rows.append((figure, value, spread, aim))

AIMS = {
    "LoadPlanTable/10000": "≤ 2 µs a row",
    "ReplaceRows/10000": "≤ 10 µs a row",
    "BM_Tick": "< 1 µs",
    "BM_ArmScanPastDoneRows": "< 50 µs",
    "BM_ArmScanMarkingPassedRows": "< 50 µs",
    "ImportCodePage936/100000": "< 1 s",
    "ImportUtf8/100000": "< 1 s",
    "Export/100000": "< 1 s",
}

def fmt_time(ns):
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e3:
        return f"{ns / 1e3:.2f} µs"
    return f"{ns:.0f} ns"

for path in sorted(glob.glob(os.path.join(out, "bench_*.json"))):
    data = json.load(open(path))
    by_name = {}
    for b in data["benchmarks"]:
        base = b.get("run_name", b["name"])
        by_name.setdefault(base, {})[b.get("aggregate_name", "")] = b
    for name, agg in by_name.items():
        med, sd = agg.get("median"), agg.get("stddev")
        if not med:
            continue
        scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[med.get("time_unit", "ns")]
        t = med["real_time"] * scale
        spread = f"± {fmt_time(sd['real_time'] * scale)}" if sd else ""
        value = fmt_time(t)
        m = re.search(r"/(\d+)$", name)
        if m and int(m.group(1)) > 1:
            value += f" ({fmt_time(t / int(m.group(1)))} a row)"
        add(name, value, spread, AIMS.get(name, ""))

def grab(file, pattern):
    try:
        text = open(os.path.join(out, file)).read()
    except OSError:
        return None
    return re.findall(pattern, text)

for m in grab("tick.txt", r"ticks (\d+) over (\d+) s.*?p50 ([\d.]+) ms, p99 ([\d.]+) ms, max ([\d.]+) ms; seconds handled twice (\d+), skipped (\d+)") or []:
    add(f"tick lateness after the second ({m[0]} ticks over {m[1]} s)", f"p50 {m[2]} ms, p99 {m[3]} ms", f"max {m[4]} ms; twice {m[5]}, skipped {m[6]}", "p99 < 20 ms")
# Lines: ".mp3  decoded, prepared  43.1  46.0  40.2  50.3  0.52  (20 trials)"
for m in grab("sound.txt", r"\.(\w+)\s+([a-z, ]+?)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+([\d.]+)\s+[\d.]+\s+\((\d+) trials\)") or []:
    player = {"streaming": "streamed", "decoded, not prepared": "decoded at the firing", "decoded, prepared": "decoded ahead (the program's way)"}.get(m[1], m[1])
    add(f"firing to first audible sample, .{m[0]}, {player} ({m[6]} trials)", f"p50 {m[2]} ms, p95 {m[3]} ms", f"min {m[4]} ms, max {m[5]} ms", "median < 150 ms")
for m in grab("accelerated.txt", r"after one hour (\d+) kB, after (\d+) days (\d+) kB \(start (\d+) kB\), (\d+) entries done") or []:
    add("resident memory, accelerated ticking", f"{int(m[0]) // 1024} MiB after an hour, {int(m[2]) // 1024} MiB after {m[1]} days", f"start {int(m[3]) // 1024} MiB; {m[4]} entries rang", "flat")
for line in grab("accelerated.txt", r"day (\d+): .*?resident memory (\d+) kB") or []:
    pass
prog = grab("program.txt", r"start-up to window shown \(ms, five runs, sorted\): ([\d ]+)")
if prog:
    values = [int(v) for v in prog[0].split()]
    add("start-up to the window shown (5 runs)", f"{statistics.median(values)} ms", f"{min(values)}–{max(values)} ms")
for m in grab("program.txt", r"resident memory after one minute: (\d+) MiB") or []:
    add("resident memory after one minute", f"{m} MiB", "")
for m in grab("program.txt", r"CPU over the second \(idle\) minute: ([\d.]+) s = ([\d.]+) %") or []:
    add("CPU over one idle minute", f"{m[1]} % of one core", f"{m[0]} s", "< 0.5 %")
for m in grab("program.txt", r"growth from minute 1 to minute (\d+): (-?\d+) kB \(largest (\d+) kB\)") or []:
    add(f"resident memory growth, minute 1 to {m[0]}", f"{m[1]} kB", f"largest {int(m[2]) // 1024} MiB", "flat")

lines = [f"| figure | value (median) | spread | aim |", "|---|---|---|---|"]
lines += [f"| {a} | {b} | {c} | {d} |" for a, b, c, d in rows]
table = "\n".join(lines)
print(table)
stamp = datetime.datetime.now().strftime("%Y-%m-%d %H:%M")
with open(target, "w") as f:
    f.write(f"""# Performance

Measured by `scripts/bench.sh` on {stamp}: a Release build, core benchmarks repeated {reps} times
(median and standard deviation), real-time figures from one run each. The machine is a shared
2-core virtual machine: compare ratios rather than absolute times.

{table}

## Notes

""")
    notes = os.path.join(os.path.dirname(target), "performance-notes.md")
    if os.path.exists(notes):
        f.write(open(notes).read())
PY
