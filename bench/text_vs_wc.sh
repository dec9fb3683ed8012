#!/bin/sh
# Times `varnel-cli grid` on 10 million text lines of two random numbers
# ("%f %f", about 235 MB) against `wc -l` on the same file, whole
# processes, in the page cache, alternating runs (RUNS of each, default
# 5); prints every run,
# the medians and their ratio. The machine should be quiet: other work
# skews wall-clock.
# usage: [RUNS=N] sh bench/text_vs_wc.sh [THREADS]   (run from the repository root)
set -e
threads=${1:-2}
. "$(dirname "$0")/whole_runs.sh"
dir=${TMPDIR:-/tmp}/varnel-text-bench
file=$dir/points10m.txt
mkdir -p "$dir"
[ -f "$file" ] ||
    awk 'BEGIN { srand(7); for (i = 0; i < 10000000; i++) printf "%f %f\n", 4000 * rand(), 4000 * rand() }' >"$file"
cat "$file" >/dev/null
grid="" wc_=""
for run in $(seq "$runs"); do
    # shellcheck disable=SC2086 # RUN is a command and its arguments
    grid="$grid $(seconds $runner "$bin/varnel-cli" grid "$file" --threads "$threads")"
    wc_="$wc_ $(seconds wc -l "$file")"
done
a=$(median $grid) b=$(median $wc_)
echo "points10m.txt: grid$grid (median $a s); wc -l$wc_ (median $b s);" \
    "$(echo "$a $b" | awk '{ printf "grid / wc -l %.2f", $1 / $2 }')"
