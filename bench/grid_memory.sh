#!/bin/sh
# Peak memory of whole `varnel-cli grid` processes at 1, 2 and 1024 threads,
# on a text file of POINTS lines (default 10 million, about 200 MB) and on
# 1 GiB of gzip'd zeros; the reader caps its threads and lets go of a mapped
# file's pages once read, so the figures should stay well under 100 MB.
#   sh bench/grid_memory.sh [POINTS]
set -eu
cli=${VARNEL_CLI:-build/bin/varnel-cli}
points=${1:-10000000}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
awk -v n="$points" 'BEGIN { srand(7); for (i = 0; i < n; i++) printf "%.4f %.4f\n", 4000 * rand(), 4000 * rand() }' \
    > "$dir/points.txt"
head -c 1073741824 /dev/zero | gzip -1 > "$dir/zeros.gz"
for file in points.txt zeros.gz; do
    for threads in 1 2 1024; do
        /usr/bin/time -f "$file --threads $threads: %M KB peak, %e s" \
            "$cli" grid "$dir/$file" --threads "$threads" -o /dev/null 2>&1 | grep 'KB peak'
    done
done
