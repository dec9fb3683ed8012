#!/bin/sh
# Two builds of the software device's frame bench against each other, for
# changes of a few percent on a shared machine whose speed drifts by more
# than that within a minute: each round runs the sweeps A, B, B, A (every
# STEP degrees of azimuth, ROUNDS times over, as --sweep does) and prints
# the mean frame over the azimuths of each side and B / A; at the end the
# mean and the range of the rounds' ratios. A drift during a round falls on
# both sides alike.
#
#   sh bench/compare_builds.sh OLD/bench_software_device NEW/bench_software_device [QUADS [THREADS]]
#   STEP=15 ROUNDS=7 sh bench/compare_builds.sh /tmp/before build/bin/bench_software_device 8 2
set -eu
if [ $# -lt 2 ]; then
    echo "usage: compare_builds.sh BENCH_A BENCH_B [QUADS [THREADS]]" >&2
    exit 2
fi
a=$1
b=$2
quads=${3:-8}
threads=${4:-2}
step=${STEP:-15}
rounds=${ROUNDS:-7}
elevation=${ELEVATION:-30}
distance=${DISTANCE:-30}

# The mean frame over the azimuths of one sweep, in ms.
sweep() {
    "$1" --camera "$distance" 0 "$elevation" --threads "$threads" --sweep "$step" "$rounds" |
        awk '{ sum += $2; n++ } END { printf "%.4f", sum / n }'
}

echo "== $b against $a: $quads rounds of A B B A, threads $threads, step $step, $rounds rounds a sweep ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
i=0
ratios=""
while [ "$i" -lt "$quads" ]; do
    a1=$(sweep "$a")
    b1=$(sweep "$b")
    b2=$(sweep "$b")
    a2=$(sweep "$a")
    ratio=$(echo "$a1 $b1 $b2 $a2" | awk '{ printf "%.4f", ($2 + $3) / ($1 + $4) }')
    echo "$a1 $b1 $b2 $a2" | awk -v r="$ratio" '{ printf "A %.3f ms  B %.3f ms  B / A %.3f\n", ($1 + $4) / 2, ($2 + $3) / 2, r }'
    ratios="$ratios $ratio"
    i=$((i + 1))
done
echo "$ratios" | awk '{ lo = $1; hi = $1; for (k = 1; k <= NF; ++k) { s += $k; if ($k < lo) lo = $k; if ($k > hi) hi = $k }
    printf "B / A: mean %.3f, from %.3f to %.3f over %d rounds\n", s / NF, lo, hi, NF }'
