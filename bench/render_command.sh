#!/bin/sh
# Where the time of `varnel-cli render` goes: a million points in three
# blobs over the default range, drawn at 1024x768 for 50 frames from the
# default camera and from an oblique one. Each run prints its --time line
# (milliseconds; frame_median over the 50 frames), then the whole process's
# wall time and peak memory from /usr/bin/time when it is installed.
#
#   bench/render_command.sh [VARNEL_CLI]      (default build/bin/varnel-cli)
#
# POINTS=N changes the number of points; DATA=FILE keeps the data file there
# (it is reused when it already exists).
set -eu

cli=${1:-build/bin/varnel-cli}
points=${POINTS:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
data=${DATA:-$work/points.txt}

if [ ! -s "$data" ]; then
    awk -v n="$points" 'BEGIN {
        srand(7)
        for (k = 0; k < n; k++) {
            c = k % 3
            cx = c == 0 ? 1200 : c == 1 ? 2600 : 2000
            cy = c == 0 ? 1500 : c == 1 ? 2500 : 3000
            s = c == 2 ? 250 : 400
            u = rand(); v = rand()
            if (u < 1e-12) u = 1e-12
            r = sqrt(-2 * log(u))
            printf "%.3f %.3f\n", cx + s * r * cos(6.283185307 * v), cy + s * r * sin(6.283185307 * v)
        }
    }' >"$data"
fi

for camera in "100 0 90" "30 45 30"; do
    echo "== camera $camera" >&2
    # shellcheck disable=SC2086
    set -- "$cli" render "$data" -o "$work/out.png" --size 1024x768 --frames 50 --time --camera $camera
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f "process wall=%es peak=%MKiB" "$@"
    else
        "$@"
    fi
done
