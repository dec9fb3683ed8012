#!/bin/sh
# The frame's cost from every side: the device against llvmpipe at every
# STEP degrees of azimuth (elevation and distance fixed), through
# device_vs_llvmpipe.sh. Prints one line per azimuth and, at the end, the
# worst azimuth over the best for the device and the smallest
# llvmpipe / device ratio.
#
#   sh bench/azimuth_sweep.sh [SIZE [THREADS]]
#   STEP=15 ELEVATION=30 DISTANCE=30 PAIRS=3 sh bench/azimuth_sweep.sh 1024x768 2
set -eu
cd "$(dirname "$0")/.."
size=${1:-1024x768}
threads=${2:-2}
step=${STEP:-15}
elevation=${ELEVATION:-30}
distance=${DISTANCE:-30}
pairs=${PAIRS:-3}
echo "== azimuth sweep, $size, threads $threads, elevation $elevation, distance $distance," \
    "$pairs pairs each ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
az=0
table=""
while [ "$az" -lt 360 ]; do
    line=$(CAMERA="$distance $az $elevation" PAIRS=$pairs sh bench/device_vs_llvmpipe.sh "$size" "$threads" |
        sed -n 's/^median: //p')
    device=$(echo "$line" | sed -n 's/^device \([0-9.]*\) ms.*/\1/p')
    peer=$(echo "$line" | sed -n 's/.*llvmpipe \([0-9.]*\) ms.*/\1/p')
    ratio=$(echo "$line" | sed -n 's/.*llvmpipe \/ device \([0-9.]*\).*/\1/p')
    printf 'azimuth %3d: device %6s ms, llvmpipe %6s ms, llvmpipe / device %s\n' "$az" "$device" "$peer" "$ratio"
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
