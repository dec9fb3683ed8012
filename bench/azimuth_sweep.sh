#!/bin/sh
# The frame's cost from every side: the software device against llvmpipe
# (OSMesa) at every STEP degrees of azimuth, elevation and distance fixed,
# the bench's own field (the hill) or POINTS. For each azimuth it alternates
# device, llvmpipe, device, llvmpipe ... PAIRS times, each run the median
# of REPS repetitions, and prints the medians; at the end the worst
# azimuth over the best for the device and the smallest llvmpipe / device.
#
#   sh bench/azimuth_sweep.sh [SIZE [THREADS]]
#   STEP=15 ELEVATION=30 DISTANCE=30 PAIRS=3 REPS=5 sh bench/azimuth_sweep.sh 1024x768 2
set -eu
cd "$(dirname "$0")/.."
size=${1:-1024x768}
threads=${2:-2}
step=${STEP:-15}
elevation=${ELEVATION:-30}
distance=${DISTANCE:-30}
pairs=${PAIRS:-3}
reps=${REPS:-5}
build=${BUILD_DIR:-build}
points=${POINTS:-}
if ! pkg-config --exists osmesa 2>/dev/null; then
    echo "azimuth_sweep: llvmpipe is not installed here (apt-get install libosmesa6-dev)" >&2
    exit 2
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 --target bench_software_device peer_llvmpipe_frame >/dev/null

# Median real time in ms of one benchmark run (CSV: name,iterations,real_time,...).
median_ms() {
    "$@" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
        awk -F, '/_median"/ { print $3; exit }'
}
median_of() { echo "$@" | tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "== azimuth sweep, $size, threads $threads, elevation $elevation, distance $distance," \
    "$pairs pairs of $reps repetitions each${points:+, points $points} ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
az=0
table=""
while [ "$az" -lt 360 ]; do
    camera="$distance $az $elevation"
    devices="" peers=""
    i=0
    while [ "$i" -lt "$pairs" ]; do
        # shellcheck disable=SC2086
        devices="$devices $(median_ms "$build/bin/bench_software_device" --camera $camera --size "$size" \
            --threads "$threads" ${points:+--points "$points"} --benchmark_filter='^BM_ViewerFrameCamera/')"
        # shellcheck disable=SC2086
        peers="$peers $(LP_NUM_THREADS=$threads median_ms "$build/bin/peer_llvmpipe_frame" --camera $camera \
            --size "$size" ${points:+--points "$points"})"
        i=$((i + 1))
    done
    device=$(median_of $devices)
    peer=$(median_of $peers)
    ratio=$(awk -v d="$device" -v p="$peer" 'BEGIN { printf "%.2f", p / d }')
    printf 'azimuth %3d: device %6.2f ms (%s), llvmpipe %6.2f ms, llvmpipe / device %s\n' \
        "$az" "$device" "$(echo $devices)" "$peer" "$ratio"
    table="$table$az $device $ratio
"
    az=$((az + step))
done
printf '%s' "$table" | awk '
    NR == 1 || $2 < best { best = $2; at_best = $1 }
    NR == 1 || $2 > worst { worst = $2; at_worst = $1 }
    NR == 1 || $3 < least { least = $3; at_least = $1 }
    END {
        printf "device: best %.2f ms (azimuth %d), worst %.2f ms (azimuth %d), worst / best %.2f;" \
            " smallest llvmpipe / device %.2f (azimuth %d)\n", best, at_best, worst, at_worst, worst / best, least, at_least
    }'
