#!/bin/sh
# The viewer's frame on the software device against the same frame drawn by
# Mesa's llvmpipe (through OSMesa), in turn on the same machine: device,
# peer, device, peer ... Each run reports the median of its repetitions; the
# script prints every pair, the medians of both and the median of the
# pairs' ratios (llvmpipe's time over the device's).
#
#   sh bench/device_vs_llvmpipe.sh [SIZE [THREADS]]
#   sh bench/device_vs_llvmpipe.sh 3840x2160 2
#   CAMERA="100 0 90" PAIRS=9 sh bench/device_vs_llvmpipe.sh 1024x768 0
#   POINTS=examples/points.txt sh bench/device_vs_llvmpipe.sh
#   VIA=cli POINTS=hill.txt sh bench/device_vs_llvmpipe.sh 1024x768 2
#
# SIZE is WIDTHxHEIGHT (default 1024x768); THREADS the threads each side
# draws with (default 0: one per core): the device's threads, the caller's
# included, and llvmpipe's LP_NUM_THREADS. CAMERA defaults to 30 45 30,
# PAIRS to 5. POINTS names a points file whose field both draw instead of
# the bench's own. VIA=cli times the device's frame as a user sees it, the
# frame_median of `varnel-cli render --time` over 60 frames with
# examples/texture.bmp (256 x 256, as the bench's texture); it needs POINTS.
#
# The peer needs OSMesa (Debian's libosmesa6-dev), which neither the build
# nor the tests need; where it is missing the script says so and times the
# device alone.
set -eu
cd "$(dirname "$0")/.."
size=${1:-1024x768}
threads=${2:-0}
camera=${CAMERA:-30 45 30}
pairs=${PAIRS:-5}
build=${BUILD_DIR:-build}
points=${POINTS:-}
via=${VIA:-bench}
if [ "$via" = cli ] && [ -z "$points" ]; then
    echo "device_vs_llvmpipe: VIA=cli needs POINTS, the file the CLI draws" >&2
    exit 2
fi

peer=yes
if ! pkg-config --exists osmesa 2>/dev/null; then
    echo "device_vs_llvmpipe: llvmpipe is not installed here (no OSMesa: apt-get install libosmesa6-dev);" \
        "timing the device alone"
    peer=no
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=bench_software_device
[ "$via" = cli ] && targets=varnel-cli
[ "$peer" = yes ] && targets="$targets peer_llvmpipe_frame"
# shellcheck disable=SC2086
cmake --build "$build" -j 2 --target $targets >/dev/null

# Median real time in ms of one benchmark run (CSV: name,iterations,real_time,...).
median_ms() {
    "$@" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
        awk -F, '/_median"/ { print $3; exit }'
}

device_ms() {
    if [ "$via" = cli ]; then
        # shellcheck disable=SC2086
        "$build/bin/varnel-cli" render "$points" -o "${TMPDIR:-/tmp}/device_vs_llvmpipe.png" --size "$size" \
            --camera $camera --texture examples/texture.bmp --frames 60 --time --threads "$threads" 2>&1 |
            sed -n 's/.*frame_median=\([0-9.]*\).*/\1/p'
        return
    fi
    # shellcheck disable=SC2086
    median_ms "$build/bin/bench_software_device" --camera $camera --size "$size" --threads "$threads" \
        ${points:+--points "$points"} --benchmark_filter='^BM_ViewerFrameCamera/'
}

peer_ms() {
    if [ "$threads" -gt 0 ]; then
        # shellcheck disable=SC2086
        LP_NUM_THREADS=$threads median_ms "$build/bin/peer_llvmpipe_frame" --camera $camera --size "$size" \
            ${points:+--points "$points"}
    else
        # shellcheck disable=SC2086
        median_ms "$build/bin/peer_llvmpipe_frame" --camera $camera --size "$size" ${points:+--points "$points"}
    fi
}

echo "== one frame, camera $camera, $size, threads $threads${points:+, points $points}, device via $via:" \
    "software device vs llvmpipe" \
    "($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
if [ "$peer" = no ]; then
    i=1
    while [ "$i" -le "$pairs" ]; do
        printf 'run %d: device %.2f ms\n' "$i" "$(device_ms)"
        i=$((i + 1))
    done
    exit 0
fi
results=""
i=1
while [ "$i" -le "$pairs" ]; do
    device=$(device_ms)
    peer=$(peer_ms)
    ratio=$(awk -v d="$device" -v p="$peer" 'BEGIN { printf "%.2f", p / d }')
    printf 'pair %d: device %.2f ms, llvmpipe %.2f ms, llvmpipe / device %s\n' "$i" "$device" "$peer" "$ratio"
    results="$results$device $peer $ratio
"
    i=$((i + 1))
done
printf '%s' "$results" | awk '
    function median(v, n,   i, j, t) {
        for (i = 2; i <= n; ++i) for (j = i; j > 1 && v[j - 1] > v[j]; --j) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
        return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    }
    { d[NR] = $1; p[NR] = $2; r[NR] = $3 }
    END {
        printf "median: device %.2f ms, llvmpipe %.2f ms, llvmpipe / device %.2f (median of the pairs)\n",
            median(d, NR), median(p, NR), median(r, NR)
    }'
