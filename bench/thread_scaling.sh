#!/bin/sh
# Whether threads scale, and if not, whether the machine or the code is
# the limit: each line is one piece of work done once by one process or
# thread, then by THREADS at once, with the throughput the THREADS give
# over one (THREADS would be ideal).
#   cat          cat of the float64 array, one alone, then THREADS at once:
#                copying out of the page cache, as the loader's reads do
#   kernel       bench_binning_kernel on clustered points in the cache,
#                one process alone, then THREADS at once, points a second
#                summed: the binning with no reading, each process its own
#                core
#   grid         varnel-cli grid on the same array and its float32 twin,
#                --threads 1 against --threads THREADS; then the same runs'
#                fastest (the quietest moment this machine gave each side)
#                and their CPU seconds (more at THREADS is work the
#                threads add: waiting, sharing, cache misses)
#   grid apart   THREADS processes of that grid at once, each on one
#                thread, against one alone: what the machine gives this very
#                work (reading and binning side by side) with no sharing in
#                the code at all, the ceiling for the line above
# Where cat and the kernel do not scale either, the machine is the limit;
# where grid falls short of grid apart, the code is.
# Wall seconds (the kernel: points a second), medians of alternating runs
# (RUNS, default 5).
# usage: [RUNS=N] sh bench/thread_scaling.sh [THREADS]   (run from the repository root)
set -e
threads=${1:-2}
. "$(dirname "$0")/whole_runs.sh"
. "$(dirname "$0")/npy_files.sh"
file=$npy_dir/f8.npy
cat "$file" "$npy_dir/f4.npy" >/dev/null

# Wall seconds of N copies of a command run at once.
at_once() {
    n=$1
    shift
    start=$(date +%s%N)
    k=0
    while [ "$k" -lt "$n" ]; do
        "$@" >/dev/null 2>&1 &
        k=$((k + 1))
    done
    wait
    echo "$start $(date +%s%N)" | awk '{ printf "%.3f\n", ($2 - $1) / 1e9 }'
}

# scale NAME ONE MANY TIMES: the medians of the wall seconds and the
# throughput of MANY over ONE, MANY having done TIMES times ONE's work.
scale() {
    a=$(median $2) b=$(median $3)
    echo "$1: one$2 (median $a s); $threads$3 (median $b s);" \
        "$(echo "$a $b $4" | awk '{ printf "%.2f", $3 * $1 / $2 }') times one's throughput"
}

one="" many=""
for run in $(seq "$runs"); do
    one="$one $(at_once 1 cat "$file")"
    many="$many $(at_once "$threads" cat "$file")"
done
scale cat "$one" "$many" "$threads"

# Points a second of N copies of the kernel's benchmark run at once, summed
# (the benchmark runs for a time, not for a count of points).
kernel_rate() {
    out=$(mktemp -d)
    k=0
    while [ "$k" -lt "$1" ]; do
        # shellcheck disable=SC2086 # RUN is a command and its arguments
        $runner "$bin/bench_binning_kernel" --benchmark_filter=lanes:8/clustered:1/cached:1 \
            --benchmark_min_time=1 --benchmark_format=csv >"$out/$k.csv" 2>/dev/null &
        k=$((k + 1))
    done
    wait
    # items_per_second is the seventh column.
    cat "$out"/*.csv | awk -F, '/^"BM_/ { sum += $7 } END { printf "%.0f\n", sum / 1e6 }'
    rm -rf "$out"
}

one="" many=""
for run in $(seq "$runs"); do
    one="$one $(kernel_rate 1)"
    many="$many $(kernel_rate "$threads")"
done
a=$(median $one) b=$(median $many)
echo "kernel: one$one (median $a M points/s); $threads at once$many (median $b M points/s);" \
    "$(echo "$a $b" | awk '{ printf "%.2f", $2 / $1 }') times one's throughput"

for name in f8 f4; do
    one="" many="" one_cpu="" many_cpu="" alone="" apart=""
    for run in $(seq "$runs"); do
        # shellcheck disable=SC2086
        timed=$(wall_and_cpu $runner "$bin/varnel-cli" grid "$npy_dir/$name.npy" --threads 1)
        one="$one ${timed% *}" one_cpu="$one_cpu ${timed#* }"
        # shellcheck disable=SC2086
        timed=$(wall_and_cpu $runner "$bin/varnel-cli" grid "$npy_dir/$name.npy" --threads "$threads")
        many="$many ${timed% *}" many_cpu="$many_cpu ${timed#* }"
        # shellcheck disable=SC2086
        alone="$alone $(at_once 1 $runner "$bin/varnel-cli" grid "$npy_dir/$name.npy" --threads 1)"
        # shellcheck disable=SC2086
        apart="$apart $(at_once "$threads" $runner "$bin/varnel-cli" grid "$npy_dir/$name.npy" --threads 1)"
    done
    scale "grid $name" "$one" "$many" 1
    # A process's start (about 10 ms here) is on one thread whatever the
    # threads; npy_vs_cat.sh takes it off the same way.
    echo "grid $name, 10 ms of start taken off each:" \
        "$(echo "$(median $one) $(median $many)" | awk '{ printf "%.2f", ($1 - 0.010) / ($2 - 0.010) }') times one's throughput"
    fastest=$(echo "$(least $one) $(least $many)" | awk '{ printf "%.2f", $1 / $2 }')
    echo "grid $name, the fastest runs: one $(least $one) s, $threads $(least $many) s; $fastest times one's throughput"
    echo "grid $name CPU: one$one_cpu (median $(median $one_cpu) s); $threads$many_cpu (median $(median $many_cpu) s);" \
        "$(echo "$(median $one_cpu) $(median $many_cpu)" | awk '{ printf "%.2f", $2 / $1 }') times one's CPU"
    scale "grid $name apart" "$alone" "$apart" "$threads"
done
