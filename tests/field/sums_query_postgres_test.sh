#!/bin/sh
# The standard cell-sums query on a PostgreSQL server started here, on a
# socket in a folder under the build tree and on no network port: its
# result saved as CSV by COPY must open as the points do (the same counts,
# every node within 1e-12). Exits 77 (skipped) where PostgreSQL is missing.
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
exit $status
