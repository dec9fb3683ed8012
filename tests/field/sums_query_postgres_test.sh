#!/bin/sh
# The standard cell-sums query on a PostgreSQL server started here, on a
# socket in a folder under the build tree and on no network port: its
# result saved as CSV by COPY must open as the points do (the same counts,
# every node within 1e-12), counts under either rule and weighted means on
# a logarithmic axis. Exits 77 (skipped) where PostgreSQL is missing.
# usage: sums_query_postgres_test.sh VARNEL_CLI WORK_DIR
set -eu
cli=$1
work=$2/postgres-$$

if ! command -v pg_ctlcluster >/dev/null 2>&1; then
    echo "skipped: pg_ctlcluster is not installed"
    exit 77
fi
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
    echo "skipped: no PostgreSQL server programs under /usr/lib/postgresql"
    exit 77
fi

# The server refuses to run as root: it runs as postgres then.
as_owner() { "$@"; }
if [ "$(id -u)" -eq 0 ]; then
    as_owner() { runuser -u postgres -- "$@"; }
fi

rm -rf "$work"
mkdir -p "$work"
[ "$(id -u)" -eq 0 ] && chown postgres "$work"
stop() {
    as_owner "$bin/pg_ctl" -D "$work/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap stop EXIT

as_owner "$bin/initdb" -D "$work/data" -A trust -U varnel >"$work/initdb.log" 2>&1 || true
chmod 755 "$work"
as_owner "$bin/pg_ctl" -D "$work/data" -w -t 30 -l "$work/data/server.log" \
    -o "-k $work -c listen_addresses= -p 5999" start >/dev/null
psql() { as_owner "$bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$work" -p 5999 -U varnel -d postgres "$@"; }

# Points with the edge cases first, then 100,000 random ones.
awk 'BEGIN {
    srand(7);
    print "0\t0"; print "3999.9999999999995\t5"; print "40\t100"; print "39.99999999999999\t20";
    print "nan\t1"; print "5\tnan"; print "inf\t3"; print "-inf\t4"; print "7\tinf"; print "4000\t6";
    for (k = 0; k < 100000; ++k) printf "%.17g\t%.17g\n", 4200 * rand() - 100, 2000 + 900 * (rand() + rand() - 1)
}' >"$work/points.txt"
chmod 644 "$work/points.txt"

psql -c 'CREATE TABLE "my points" ("x value" DOUBLE PRECISION, y DOUBLE PRECISION)'
psql -c "\\copy \"my points\" FROM '$work/points.txt'"

status=0
for rule in bilinear classic; do
    query=$("$cli" sql --table 'my points' --x 'x value' --y y --range 0 4000 1000 3000 --binning "$rule")
    query=${query%;}
    psql -c "\\copy ($query) TO '$work/sums.csv' WITH (FORMAT csv, HEADER)"
    "$cli" grid "$work/points.txt" --range 0 4000 1000 3000 --binning "$rule" >"$work/want.grid" 2>"$work/want.err"
    "$cli" grid "$work/sums.csv" --binning "$rule" >"$work/got.grid" 2>"$work/got.err"
    # The counts: all but max=, rejected_lines= and header=.
    want=$(tail -n 1 "$work/want.err" | awk '{ print $1, $2, $4, $5, $8 }')
    got=$(tail -n 1 "$work/got.err" | awk '{ print $1, $2, $4, $5, $8 }')
    if [ "$want" != "$got" ]; then
        echo "$rule: counts differ: from the points $want, from PostgreSQL's sums $got"
        status=1
    fi
    worst=$(paste -d ' ' "$work/want.grid" "$work/got.grid" | awk '{
        n = NF / 2;
        for (i = 1; i <= n; ++i) { d = $i - $(i + n); if (d < 0) d = -d; if (d > worst) worst = d }
    } END { printf "%.3g", worst + 0 }')
    lines=$(wc -l <"$work/got.grid")
    if [ "$lines" -ne 201 ] || awk -v w="$worst" 'BEGIN { exit !(w > 1e-12) }'; then
        echo "$rule: the grids differ by up to $worst ($lines rows)"
        status=1
    fi
    echo "$rule: $got, largest difference $worst"
done

# Weighted means on a logarithmic x: points at or below zero, a NaN weight
# (NULL in the table), a NaN coordinate and a NaN value among them.
awk 'BEGIN {
    srand(11);
    print "0\t1500\t1\t2"; print "-3\t1500\t1\t2"; print "5\t1500\tnan\t2"; print "50\tnan\t1\t2"; print "40\t2000\t2\tnan";
    for (k = 0; k < 50000; ++k)
        printf "%.17g\t%.17g\t%.17g\t%.17g\n", 4200 * rand() - 100, 2000 + 900 * (rand() + rand() - 1), 0.5 + 1.5 * rand(), 20 * rand() - 10
}' >"$work/values.txt"
sed 's/^5\t1500\tnan/5\t1500\t\\N/' "$work/values.txt" >"$work/values.copy"
chmod 644 "$work/values.copy"
psql -c 'CREATE TABLE "my values" ("x value" DOUBLE PRECISION, y DOUBLE PRECISION, "weight w" DOUBLE PRECISION, z DOUBLE PRECISION)'
psql -c "\\copy \"my values\" FROM '$work/values.copy'"
asked="--range 1 4000 1000 3000 --log-x"
query=$("$cli" sql --table 'my values' --x 'x value' --y y --weight 'weight w' --mean z $asked)
psql -c "\\copy (${query%;}) TO '$work/sums.csv' WITH (FORMAT csv, HEADER)"
"$cli" grid "$work/values.txt" $asked --weight 3 --mean 4 >"$work/want.grid" 2>"$work/want.err"
"$cli" grid "$work/sums.csv" $asked --weight 3 --mean 4 >"$work/got.grid" 2>"$work/got.err"
# The counts: all but max=, header= and weight=, which is summed in another order.
want=$(tail -n 1 "$work/want.err" | awk '{ print $1, $2, $4, $5, $8, $10 }')
got=$(tail -n 1 "$work/got.err" | awk '{ print $1, $2, $4, $5, $8, $10 }')
if [ "$want" != "$got" ]; then
    echo "weighted means: counts differ: from the points $want, from PostgreSQL's sums $got"
    status=1
fi
# Means in their own units: each within 1e-12 of the larger of 10 (the
# values' size) and itself; nan where the points give nan.
worst=$(paste -d ' ' "$work/want.grid" "$work/got.grid" | awk '{
    n = NF / 2;
    for (i = 1; i <= n; ++i) {
        if ($i == "nan" || $(i + n) == "nan") { if ($i != $(i + n)) worst = 1; continue }
        d = $i - $(i + n); if (d < 0) d = -d; s = $i < 0 ? -$i : $i; if (s < 10) s = 10;
        if (d / s > worst) worst = d / s
    }
} END { printf "%.3g", worst + 0 }')
if awk -v w="$worst" 'BEGIN { exit !(w > 1e-12) }'; then
    echo "weighted means: the grids differ by up to $worst of their values"
    status=1
fi
echo "weighted means on log x: $got, largest difference $worst of the values"
exit $status
