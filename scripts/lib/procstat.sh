# What a running process costs, read from /proc. Sourced, not run.

# rss_kb PID: resident memory (VmRSS) in kB.
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null; }
# thread_count PID
thread_count() { awk '/^Threads:/ { print $2 }' "/proc/$1/status" 2>/dev/null; }
# fd_count PID: open file descriptors.
fd_count() { find "/proc/$1/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l; }
# cpu_ticks PID: user and system time in clock ticks (getconf CLK_TCK a second).
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null; }
# cpu_seconds TICKS [PER_SECONDS]: ticks as seconds of one core, and with PER_SECONDS also as a
# share of one core over that time: "S s = P % of one core".
cpu_seconds() {
    awk -v t="$1" -v hz="$(getconf CLK_TCK)" -v over="${2:-}" 'BEGIN {
        if (over == "") printf "%.1f", t / hz
        else printf "%.2f s = %.3f %% of one core", t / hz, t / hz / over * 100 }'
}

# process_sample PID: "rss_kb fds threads cpu_seconds"; false when the process has gone.
process_sample() {
    local rss
    rss=$(rss_kb "$1")
    [ -n "$rss" ] || return 1
    echo "$rss $(fd_count "$1") $(thread_count "$1") $(cpu_seconds "$(cpu_ticks "$1")")"
}

# smaps_by_mapping PID [TOP=25]: resident kB summed by mapped file (anonymous memory as
# "[anonymous]"), largest first, then the number of mappings and files.
smaps_by_mapping() {
    awk -v top="${2:-25}" '
        /^[0-9a-f]+-[0-9a-f]+ / { name = (NF >= 6) ? $6 : "[anonymous]"; maps++; next }
        /^Rss:/ { rss[name] += $2; total += $2 }
        END {
            n = 0
            for (k in rss) n++
            printf "mappings %d, files and regions %d, resident %d kB\n", maps, n, total
            cmd = "sort -k1,1nr | head -n " top
            for (k in rss) printf "%8d kB  %s\n", rss[k], k | cmd
            close(cmd)
        }' "/proc/$1/smaps"
}

# smaps_against PID REFERENCE_PID [TOP=25]: resident kB by mapped file of PID beside the same
# file's in REFERENCE_PID, the TOP largest differences first: what PID holds beyond the reference.
smaps_against() {
    awk -v top="${3:-25}" '
        FNR == 1 { side = (FILENAME ~ "^/proc/" pid "/") ? 1 : 2 }
        /^[0-9a-f]+-[0-9a-f]+ / { name = (NF >= 6) ? $6 : "[anonymous]"; next }
        /^Rss:/ { rss[side, name] += $2; names[name] = 1; total[side] += $2 }
        END {
            printf "resident %d kB, the reference %d kB, more %d kB\n", total[1], total[2], total[1] - total[2]
            printf "%8s %8s %8s  %s\n", "kB", "ref kB", "more", "mapping"
            cmd = "sort -k3,3nr | head -n " top
            for (k in names) printf "%8d %8d %8d  %s\n", rss[1, k], rss[2, k], rss[1, k] - rss[2, k], k | cmd
            close(cmd)
        }' pid="$1" "/proc/$1/smaps" "/proc/$2/smaps"
}
