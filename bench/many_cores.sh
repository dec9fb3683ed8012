#!/bin/sh
# The speed figures on a lent machine of many cores, which has none of our
# libraries and can fetch none: the frame from every side against llvmpipe
# (azimuth_sweep.sh), the text reader against wc (text_vs_wc.sh), the
# .npy reader against cat (npy_vs_cat.sh), and how the reading, the
# binning kernel and the whole load scale from one thread to all
# (thread_scaling.sh).
#
#   sh bench/many_cores.sh pack          here: fills .many-cores/
#   sh bench/many_cores.sh run [THREADS] there, from the repository root
#
# `pack` builds the release programs the figures need and puts them into
# .many-cores/ with every shared library they load and the loader, the
# libraries packed with xz (llvmpipe's LLVM alone is 117 MB unpacked; the
# folder comes to about 50 MB, under what travels with the tree). `run`
# unpacks the libraries into TMPDIR, runs each program under that loader,
# and prints the four figures on THREADS threads (default: one per core),
# then the azimuth table again on two threads, to set beside the two-core
# machine's. Where OUT is set the output is also written to OUT/many_cores.txt.
set -eu
cd "$(dirname "$0")/.."
pack=.many-cores
programs="bench_software_device peer_llvmpipe_frame varnel-cli bench_binning_kernel"

case ${1:-} in
pack)
    if ! pkg-config --exists osmesa 2>/dev/null; then
        echo "many_cores: llvmpipe is not installed here (apt-get install libosmesa6-dev)" >&2
        exit 2
    fi
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
    # shellcheck disable=SC2086
    cmake --build build -j 2 --target $programs >/dev/null
    rm -rf "${pack:?}"
    mkdir -p "$pack/bin" "$pack/lib"
    for program in $programs; do
        cp "build/bin/$program" "$pack/bin/"
        ldd "build/bin/$program" | awk '$2 == "=>" && $3 ~ /^\// { print $3 }' | xargs -r cp -L -t "$pack/lib"
    done
    cp -L "$(ldd build/bin/varnel-cli | awk '/ld-linux/ { print $1 }')" "$pack/lib/ld-linux-x86-64.so.2"
    tar -C "$pack" -cf - lib | xz -9 -T 2 >"$pack/lib.tar.xz"
    rm -rf "${pack:?}/lib"
    du -sh "$pack"
    ;;
run)
    [ -f "$pack/lib.tar.xz" ] || {
        echo "many_cores: no $pack/lib.tar.xz; run 'sh bench/many_cores.sh pack' first, and carry $pack" >&2
        exit 2
    }
    threads=${2:-$(nproc)}
    unpacked=${TMPDIR:-/tmp}/varnel-many-cores
    rm -rf "$unpacked"
    mkdir -p "$unpacked"
    if command -v xz >/dev/null; then
        xz -dc "$pack/lib.tar.xz"
    else
        python3 -c 'import lzma, shutil, sys; shutil.copyfileobj(lzma.open(sys.argv[1]), sys.stdout.buffer)' \
            "$pack/lib.tar.xz"
    fi | tar -C "$unpacked" -xf -
    export BIN=$pack/bin RUN="$unpacked/lib/ld-linux-x86-64.so.2 --library-path $unpacked/lib"
    {
        echo "== $(nproc) cores, $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo)"
        sh bench/azimuth_sweep.sh 1024x768 "$threads"
        sh bench/text_vs_wc.sh "$threads"
        sh bench/npy_vs_cat.sh "$threads"
        sh bench/thread_scaling.sh "$threads"
        sh bench/azimuth_sweep.sh 1024x768 2
    } 2>&1 | tee ${OUT:+"$OUT/many_cores.txt"}
    ;;
*)
    echo "usage: many_cores.sh pack | run [THREADS]" >&2
    exit 2
    ;;
esac
