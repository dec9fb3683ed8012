# shellcheck shell=sh
# Sourced by the whole-process benchmarks (text_vs_wc.sh, npy_vs_cat.sh):
# how one run is timed and how runs are summed up.

# Wall seconds of one run of a command, its output dropped; by the clock
# where GNU time is missing (a bare machine).
seconds() {
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f %e "$@" 2>&1 >/dev/null | tail -1
    else
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        echo "$start $(date +%s%N)" | awk '{ printf "%.2f\n", ($2 - $1) / 1e9 }'
    fi
}

# CPU seconds (user and system) of one run of a command, its output
# dropped; needs GNU time.
cpu_seconds() {
    /usr/bin/time -f "%U %S" "$@" 2>&1 >/dev/null | tail -1 | awk '{ printf "%.2f\n", $1 + $2 }'
}

# The median of five numbers.
median() { echo "$@" | tr ' ' '\n' | grep . | sort -n | sed -n 3p; }
