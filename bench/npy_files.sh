# shellcheck shell=sh
# Sourced by the .npy benchmarks (npy_vs_cat.sh, thread_scaling.sh,
# fit_vs_fixed.sh): the arrays they time, f8.npy and f4.npy, made once into
# npy_dir. Each holds 100 million points, one block of a million Gaussian
# points repeated.
npy_dir=${TMPDIR:-/tmp}/varnel-npy-bench
mkdir -p "$npy_dir"

# make_npy_file TYPE BYTES NAME [DRIFT]: TYPE f8 or f4, BYTES its size;
# each repeat of the block moved on by DRIFT (default 0).
make_npy_file() {
    [ -f "$npy_dir/$3" ] || python3 - "$1" "$2" "$npy_dir/$3" "${4:-0}" <<'PY'
import array, random, sys
kind, size, path, drift = sys.argv[1], int(sys.argv[2]), sys.argv[3], float(sys.argv[4])
random.seed(7)
code = 'd' if size == 8 else 'f'
block = array.array(code, (random.gauss(2000, 600) for _ in range(2_000_000)))
header = "{'descr': '<%s', 'fortran_order': False, 'shape': (100000000, 2), }" % kind
header += ' ' * ((64 - (10 + len(header) + 1) % 64) % 64) + '\n'
with open(path, 'wb') as out:
    out.write(b'\x93NUMPY\x01\x00' + len(header).to_bytes(2, 'little') + header.encode())
    for k in range(100):
        out.write((array.array(code, (v + drift * k for v in block)) if drift else block).tobytes())
PY
}

make_npy_file f8 8 f8.npy
make_npy_file f4 4 f4.npy
