# What the measuring scripts print for the table of scripts/bench.sh: one line a figure, measured
# against its reference in the same run. Sourced, not run.

[ -n "${HALVIX_LIB_FIGURES:-}" ] && return 0
HALVIX_LIB_FIGURES=1

# ratio VALUE REFERENCE: "1.27×" (the value over the reference); "–" when the reference is 0 or none.
ratio() {
    awk -v v="$1" -v r="$2" 'BEGIN { if (r + 0 == 0) print "–"; else printf "%.2f×\n", v / r }'
}
# mib KB: kB as MiB with one decimal.
mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB\n", k / 1024 }'; }
# pss_and_rss PSS RSS: a process's memory as the figures give it, "PSS 30.2 MiB (RSS 40.1 MiB)".
pss_and_rss() { echo "PSS $(mib "$1") (RSS $(mib "$2"))"; }
# reference_memory PSS RSS REFERENCE_PSS REFERENCE_RSS: the reference's memory, each with the
# ratio of the measured process's to it: "PSS 22.0 MiB (1.37×); RSS 33.4 MiB (1.20×)".
reference_memory() {
    echo "PSS $(mib "$3") ($(ratio "$1" "$3")); RSS $(mib "$4") ($(ratio "$2" "$4"))"
}

# figure_row FIGURE VALUE REFERENCE GOAL: "| figure | value | reference | goal |", the line
# scripts/bench.sh collects from every part's output into its table.
figure_row() { printf '| %s | %s | %s | %s |\n' "$1" "$2" "$3" "$4"; }

# median NUMBER...: the middle value (the lower of the two middle ones for an even count).
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
