#!/bin/sh
# Whole-process figures for texture loading, against ImageMagick:
#   (a) varnel-cli texture on a 2048 x 2048 24-bit bitmap (full mip chain),
#   (b) varnel-cli texture on a 1500 x 1000 24-bit bitmap (triangle
#       resampling to 2048 x 1024, then the full mip chain),
#   (c) convert in.bmp -filter Triangle -resize 2048x1024! out.bmp on the
#       same file as (b),
# and two 64-byte run-length bitmaps that decode to a gigabyte of pixels.
# Prints the median wall time and peak memory of each (RUNS runs, default 5)
# and the ratio (b) / (c). Installs Debian's imagemagick when it is missing.
#
#   sh bench/texture_load_vs_imagemagick.sh [build/bin/varnel-cli]
set -eu

cli=${1:-build/bin/varnel-cli}
runs=${RUNS:-5}
convert=/usr/bin/convert

if ! dpkg-query -W -f='${Status}' imagemagick 2>/dev/null | grep -q "install ok installed"; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends imagemagick
fi
[ -x "$cli" ] || { echo "no $cli: run make build first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$convert" -seed 7 -size 2048x2048 plasma:fractal -type TrueColor "BMP3:$work/a.bmp"
"$convert" -seed 7 -size 1500x1000 plasma:fractal -type TrueColor "BMP3:$work/b.bmp"

# 64-byte RLE8 bitmaps: file header, 40-byte header, one colour, a run of
# 255 pixels and the end of the bitmap.
rle8() { # width and height as little-endian octal escapes
    # shellcheck disable=SC2059
    printf "BM\100\0\0\0\0\0\0\0\072\0\0\0\050\0\0\0$1$2\001\0\010\0\001\0\0\0\006\0\0\0" >"$3"
    printf '\023\013\0\0\023\013\0\0\001\0\0\0\0\0\0\0\050\120\170\0\377\0\0\001\0\001' >>"$3"
}
# Heights negative (rows top first), so the run goes on into the rows below.
rle8 '\001\0\0\0' '\0\0\0\360' "$work/tall.bmp"          # 1 x 268,435,456
rle8 '\007\000\100\000' '\013\377\377\377' "$work/wide.bmp" # 4,194,311 x 245

# Median wall seconds and peak kilobytes of RUNS runs of a command.
measure() {
    label=$1
    shift
    : >"$work/times"
    i=0
    while [ $i -lt "$runs" ]; do
        /usr/bin/time -f '%e %M' -o "$work/one" "$@" >/dev/null 2>&1 || true
        tail -n 1 "$work/one" >>"$work/times"
        i=$((i + 1))
    done
    wall=$(cut -d' ' -f1 "$work/times" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}')
    peak=$(cut -d' ' -f2 "$work/times" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}')
    printf '%-44s wall %6.3f s   peak %8d KiB\n' "$label" "$wall" "$peak"
}

echo "varnel-cli: $("$cli" texture "$work/b.bmp")"
measure "(a) texture 2048x2048 24-bit" "$cli" texture "$work/a.bmp"
measure "(b) texture 1500x1000 24-bit" "$cli" texture "$work/b.bmp"
b=$wall
measure "(c) convert -filter Triangle -resize 2048x1024!" "$convert" "$work/b.bmp" -filter Triangle -resize '2048x1024!' "$work/out.bmp"
c=$wall
measure "texture 1 x 268435456 RLE8 (64 bytes)" "$cli" texture "$work/tall.bmp"
measure "texture 4194311 x 245 RLE8 (64 bytes)" "$cli" texture "$work/wide.bmp"
awk -v b="$b" -v c="$c" 'BEGIN { printf "ratio (b) / (c): %.2f (goal: at most 0.5)\n", (c > 0 ? b / c : 0) }'
