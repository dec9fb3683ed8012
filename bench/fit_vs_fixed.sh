#!/bin/sh
# Times `varnel-cli grid` with a fitted range (--range auto) against a fixed
# range on the same file, whole processes, in the page cache, alternating
# runs (RUNS of each, default 5), on 10 million text points and 100 million points
# saved as .npy. Where a file's extremes settle in its first part, the fit
# guesses its range from that part and reads the file once: box.txt
# (points spread evenly over a square), f8.npy and f4.npy (npy_vs_cat.sh's
# float64 and float32 arrays: one block of a million points repeated). Where they move on, the fit takes a bounds pass first:
# points.txt (a Gaussian's tails, a million lines repeated, each time
# further than the first part), drifting.npy (each block moved on a
# little).
# Prints every run, the medians and their ratio.
# usage: [RUNS=N] sh bench/fit_vs_fixed.sh [THREADS]   (run from the repository root)
set -e
threads=${1:-2}
. "$(dirname "$0")/whole_runs.sh"
dir=${TMPDIR:-/tmp}/varnel-fit-bench
mkdir -p "$dir"
[ -f "$dir/points.txt" ] || python3 - "$dir/points.txt" <<'PY'
import random, sys
random.seed(7)
lines = ["%.3f %.3f\n" % (random.gauss(2000, 600), random.gauss(1500, 400)) for _ in range(1_000_000)]
with open(sys.argv[1], 'w') as out:
    for _ in range(10):
        out.writelines(lines)
PY
[ -f "$dir/box.txt" ] || python3 - "$dir/box.txt" <<'PY'
import random, sys
random.seed(7)
with open(sys.argv[1], 'w') as out:
    for _ in range(10):
        out.writelines(["%.3f %.3f\n" % (random.uniform(100, 3900), random.uniform(100, 3900))
                        for _ in range(1_000_000)])
PY
. "$(dirname "$0")/npy_files.sh"
make_npy_file f8 8 drifting.npy 7
for path in "$dir/points.txt" "$dir/box.txt" "$npy_dir/f8.npy" "$npy_dir/f4.npy" "$npy_dir/drifting.npy"; do
    file=$(basename "$path")
    cat "$path" >/dev/null
    fixed="" fitted=""
    for run in $(seq "$runs"); do
        fixed="$fixed $(seconds "$bin/varnel-cli" grid "$path" --range 0 4000 0 4000 --threads "$threads")"
        fitted="$fitted $(seconds "$bin/varnel-cli" grid "$path" --range auto --threads "$threads")"
    done
    a=$(median $fixed) b=$(median $fitted)
    echo "$file: fixed$fixed (median $a s); auto$fitted (median $b s); auto/fixed $(echo "$a $b" | awk '{ printf "%.2f", $2 / $1 }')"
done
