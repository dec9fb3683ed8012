# shellcheck shell=sh
# Sourced by the .npy benchmarks (npy_vs_cat.sh, thread_scaling.sh): the
# arrays they time, f8.npy and f4.npy, made once into npy_dir. Each holds
# 100 million points, one block of two million Gaussian points repeated.
npy_dir=${TMPDIR:-/tmp}/varnel-npy-bench
mkdir -p "$npy_dir"

# make_npy_file TYPE BYTES NAME: TYPE f8 or f4, BYTES its size.
make_npy_file() {
    [ -f "$npy_dir/$3" ] || python3 - "$1" "$2" "$npy_dir/$3" <<'PY'
import array, random, sys
kind, size, path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
random.seed(7)
block = array.array('d' if size == 8 else 'f',
                    (random.gauss(2000, 600) for _ in range(2_000_000)))
header = "{'descr': '<%s', 'fortran_order': False, 'shape': (100000000, 2), }" % kind
header += ' ' * ((64 - (10 + len(header) + 1) % 64) % 64) + '\n'
with open(path, 'wb') as out:
    out.write(b'\x93NUMPY\x01\x00' + len(header).to_bytes(2, 'little') + header.encode())
    for _ in range(100):
        out.write(block.tobytes())
PY
}

make_npy_file f8 8 f8.npy
make_npy_file f4 4 f4.npy
