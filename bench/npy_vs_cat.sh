#!/bin/sh
# Times `varnel-cli grid` on 100 million points saved as .npy (float64 and
# float32) against reading the same file with cat, whole processes, in the
# page cache, alternating runs (RUNS of each, default 5); prints every
# run, the medians and their ratio (also with 10 ms, a process's start, taken off the grid's),
# then the CPU seconds of both and the points binned a second of CPU
# beyond cat's, the binning's own rate per core.
# usage: [RUNS=N] sh bench/npy_vs_cat.sh [THREADS]   (run from the repository root)
set -e
threads=${1:-2}
. "$(dirname "$0")/whole_runs.sh"
. "$(dirname "$0")/npy_files.sh"
for file in f8.npy f4.npy; do
    cat "$npy_dir/$file" >/dev/null
    grid="" cat_=""
    for run in $(seq "$runs"); do
        # shellcheck disable=SC2086 # RUN is a command and its arguments
        grid="$grid $(seconds $runner "$bin/varnel-cli" grid "$npy_dir/$file" --threads "$threads")"
        cat_="$cat_ $(seconds cat "$npy_dir/$file")"
    done
    a=$(median $grid) b=$(median $cat_)
    echo "$file: grid$grid (median $a s); cat$cat_ (median $b s);" \
        "$(echo "$a $b" | awk '{ printf "grid / cat %.2f, (grid - 10 ms) / cat %.2f", $1 / $2, ($1 - 0.01) / $2 }')"
    command -v python3 >/dev/null || [ -x /usr/bin/time ] || continue
    grid="" cat_=""
    for run in $(seq "$runs"); do
        # shellcheck disable=SC2086
        grid="$grid $(cpu_seconds $runner "$bin/varnel-cli" grid "$npy_dir/$file" --threads "$threads")"
        cat_="$cat_ $(cpu_seconds cat "$npy_dir/$file")"
    done
    a=$(median $grid) b=$(median $cat_)
    echo "$file: CPU grid$grid (median $a s); cat$cat_ (median $b s);" \
        "$(echo "$a $b" | awk '{ printf "%.0f", 100 / ($1 - $2) }') M points a CPU second beyond cat"
done
