# shellcheck shell=sh
# Sourced by the whole-process benchmarks (text_vs_wc.sh, npy_vs_cat.sh,
# thread_scaling.sh, fit_vs_fixed.sh): where the programs are, how one run
# is timed and how runs are summed up.

# BIN: a folder of programs built before; RUN: a command they run under
# (bench/many_cores.sh sets both).
bin=${BIN:-build/bin}
runner=${RUN:-}

# Wall seconds of one run of a command, its output dropped: to the
# millisecond where python3 is at hand, else by GNU time, else by the
# clock (a bare machine).
seconds() {
    if command -v python3 >/dev/null; then
        python3 -c 'import subprocess, sys, time
start = time.perf_counter()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print("%.3f" % (time.perf_counter() - start))' "$@"
    elif [ -x /usr/bin/time ]; then
        /usr/bin/time -f %e "$@" 2>&1 >/dev/null | tail -1
    else
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        echo "$start $(date +%s%N)" | awk '{ printf "%.2f\n", ($2 - $1) / 1e9 }'
    fi
}

# CPU seconds (user and system) of one run of a command, its output
# dropped; to the millisecond where python3 is at hand (GNU time gives
# hundredths, a twentieth of what binning 100 M points costs beyond cat),
# else by GNU time.
cpu_seconds() {
    if command -v python3 >/dev/null; then
        # Children's time before the run taken off: on some machines the
        # interpreter has run children of its own by then.
        python3 -c 'import resource, subprocess, sys
def spent():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime
before = spent()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print("%.3f" % (spent() - before))' "$@"
    else
        /usr/bin/time -f "%U %S" "$@" 2>&1 >/dev/null | tail -1 | awk '{ printf "%.2f\n", $1 + $2 }'
    fi
}

# Wall and CPU seconds of one run, as "WALL CPU" (seconds and
# cpu_seconds in one run; python3 or GNU time).
wall_and_cpu() {
    if command -v python3 >/dev/null; then
        python3 -c 'import resource, subprocess, sys, time
def spent():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime
before = spent()
start = time.perf_counter()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print("%.3f %.3f" % (time.perf_counter() - start, spent() - before))' "$@"
    else
        /usr/bin/time -f "%e %U %S" "$@" 2>&1 >/dev/null | tail -1 | awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }'
    fi
}

# How many alternating runs each side gets (RUNS, default 5): on a noisy
# machine more give a steadier median.
runs=${RUNS:-5}

# The median of a list of numbers (the upper middle one of an even count).
median() { echo "$@" | tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print v[int(NR / 2) + 1] }'; }

# The least of a list of numbers.
least() { echo "$@" | tr ' ' '\n' | grep . | sort -n | head -1; }
