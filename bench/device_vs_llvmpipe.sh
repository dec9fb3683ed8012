#!/bin/sh
# The viewer's frame at 1024 x 768 on the software device against the same
# frame drawn by Mesa's llvmpipe (through OSMesa), in turn on the same
# machine: device, peer, device, peer ... Each run reports the median of its
# repetitions; the script prints every pair, the medians of both and the
# median of the pairs' ratios (llvmpipe's time over the device's).
#
#   sh bench/device_vs_llvmpipe.sh            camera 30 45 30, 5 pairs
#   CAMERA="100 0 90" PAIRS=9 sh bench/device_vs_llvmpipe.sh
#
# Installs Debian's libosmesa6-dev when it is missing: the peer is needed by
# this script only, never by the build or the tests.
set -eu
cd "$(dirname "$0")/.."
camera=${CAMERA:-30 45 30}
pairs=${PAIRS:-5}
build=${BUILD_DIR:-build}

if ! pkg-config --exists osmesa 2>/dev/null; then
    echo "device_vs_llvmpipe: installing libosmesa6-dev"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get install -y --no-install-recommends libosmesa6-dev >/dev/null 2>&1 ||
        { $sudo apt-get update >/dev/null && $sudo apt-get install -y --no-install-recommends libosmesa6-dev >/dev/null; }
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 --target bench_software_device peer_llvmpipe_frame >/dev/null

# Median real time in ms of one benchmark run (CSV: name,iterations,real_time,...).
median_ms() {
    "$@" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
        awk -F, '/_median"/ { print $3; exit }'
}

echo "== one frame, camera $camera, 1024 x 768: software device vs llvmpipe ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
results=""
i=1
while [ "$i" -le "$pairs" ]; do
    # shellcheck disable=SC2086
    device=$(median_ms "$build/bin/bench_software_device" --camera $camera --benchmark_filter='^BM_ViewerFrameCamera/')
    # shellcheck disable=SC2086
    peer=$(median_ms "$build/bin/peer_llvmpipe_frame" --camera $camera)
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
