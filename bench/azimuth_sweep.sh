#!/bin/sh
# The frame's cost from every side: the software device against llvmpipe
# (OSMesa) at every STEP degrees of azimuth, elevation and distance fixed,
# the bench's own field (the hill) or POINTS.
#
# Each program draws the azimuths in turn, one frame each, ROUNDS times
# over (its --sweep), and reports each azimuth's median frame; so a busy
# spell of this shared machine falls on every azimuth alike. The two
# programs alternate PAIRS times (device, llvmpipe, device, ...), and the
# table shows, per azimuth, the median over the pairs of each side and the
# median of the pairs' ratios; at the end the worst azimuth over the best
# for the device and the smallest llvmpipe / device.
#
#   sh bench/azimuth_sweep.sh [SIZE [THREADS]]
#   STEP=15 ELEVATION=30 DISTANCE=30 PAIRS=5 ROUNDS=21 sh bench/azimuth_sweep.sh 1024x768 2
#
# THREADS (default 2) are the device's drawing threads, the caller's
# included, and llvmpipe's LP_NUM_THREADS. BIN names a folder of programs
# built before (nothing is built then) and RUN a command they run under,
# such as a loader with its library path (bench/many_cores.sh sets both).
set -eu
cd "$(dirname "$0")/.."
size=${1:-1024x768}
threads=${2:-2}
step=${STEP:-15}
elevation=${ELEVATION:-30}
distance=${DISTANCE:-30}
pairs=${PAIRS:-5}
rounds=${ROUNDS:-21}
build=${BUILD_DIR:-build}
points=${POINTS:-}
run=${RUN:-}
if [ -n "${BIN:-}" ]; then
    bin=$BIN
else
    if ! pkg-config --exists osmesa 2>/dev/null; then
        echo "azimuth_sweep: llvmpipe is not installed here (apt-get install libosmesa6-dev)" >&2
        exit 2
    fi
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" -j 2 --target bench_software_device peer_llvmpipe_frame >/dev/null
    bin=$build/bin
fi

echo "== azimuth sweep, $size, threads $threads, elevation $elevation, distance $distance," \
    "$pairs pairs of $rounds rounds each${points:+, points $points} ($(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg))"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
i=0
while [ "$i" -lt "$pairs" ]; do
    # shellcheck disable=SC2086
    $run "$bin/bench_software_device" --camera "$distance" 0 "$elevation" --size "$size" --threads "$threads" \
        ${points:+--points "$points"} --sweep "$step" "$rounds" | sed "s/^/$i device /" >>"$out"
    # shellcheck disable=SC2086
    LP_NUM_THREADS=$threads $run "$bin/peer_llvmpipe_frame" --camera "$distance" 0 "$elevation" --size "$size" \
        ${points:+--points "$points"} --sweep "$step" "$rounds" | sed "s/^/$i llvmpipe /" >>"$out"
    i=$((i + 1))
done

# Lines "PAIR SIDE AZIMUTH MS" in; the table out.
awk '
    function median(list,    n, v, i, j, t) {
        n = split(list, v, " ")
        for (i = 2; i <= n; ++i)
            for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; --j) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
        return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    }
    { ms[$1, $2, $3] = $4; if (!($3 in seen)) { seen[$3] = 1; order[++count] = $3 } if ($1 + 1 > pairs) pairs = $1 + 1 }
    END {
        for (k = 1; k <= count; ++k) {
            az = order[k]; devices = ""; peers = ""; ratios = ""
            for (p = 0; p < pairs; ++p) {
                devices = devices " " ms[p, "device", az]; peers = peers " " ms[p, "llvmpipe", az]
                ratios = ratios " " ms[p, "llvmpipe", az] / ms[p, "device", az]
            }
            d = median(devices); l = median(peers); r = median(ratios)
            printf "azimuth %3d: device %6.2f ms (%s ), llvmpipe %6.2f ms, llvmpipe / device %.2f\n", az, d, devices, l, r
            if (k == 1 || d < best) { best = d; at_best = az }
            if (k == 1 || d > worst) { worst = d; at_worst = az }
            if (k == 1 || r < least) { least = r; at_least = az }
        }
        printf "device: best %.2f ms (azimuth %d), worst %.2f ms (azimuth %d), worst / best %.2f;" \
            " smallest llvmpipe / device %.2f (azimuth %d)\n", best, at_best, worst, at_worst, worst / best, least, at_least
    }' "$out"
