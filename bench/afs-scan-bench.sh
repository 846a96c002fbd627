#!/bin/bash
# afs-scan as an operator runs it, against `afs-sim --synthetic N` over HTTP:
# job 1 (full) creates a fresh scan database on disk, then jobs 2 to JOBS
# (default 5) each load N changes and commit them durably. From job 3 on
# each job first copies its predecessor's pages from the write-ahead log
# into the database file (the checkpoint), which is the steady state of a
# series of jobs; /usr/bin/time -v gives each job's wall time and peak RSS,
# and the sizes of scan.db and scan.db-wal are taken after each job. In the
# same run, the plug-in alone loads the same N changes into a counting scan
# database (afs-bench-e2e).
#
#   [JOBS=5] bench/afs-scan-bench.sh [BUILD_DIR] [N ...]     (default: build 10000 1000000)
set -euo pipefail
build=${1:-build}
shift || true
counts=${*:-10000 1000000}
jobs=${JOBS:-5}
# On any exit (INT, TERM and HUP end in one too): no simulator left running,
# no work folder left behind.
trap 'kill $(jobs -p) 2>/dev/null || true; wait; rm -rf "${work:-}"' EXIT

for n in $counts; do
    work=$(mktemp -d /var/tmp/afs-scan-bench-XXXXXX)
    mkdir -p "$work/shares/share1"
    printf 'bench\n' > "$work/pw"
    printf '127.0.0.1:/share1 %s/shares/share1 nfs rw 0 0\n' "$work" > "$work/mounts"
    printf '[FileSystemAgent]\nuHAWaitTime = 0\n' > "$work/host.ini"
    "$build/tools/afs-sim/afs-sim" --shares "$work/shares" --state "$work/sim" --port 0 \
        --password-file "$work/pw" --synthetic "$n" --quiet > "$work/url" &
    sim=$!
    for _ in $(seq 100); do [ -s "$work/url" ] && break; sleep 0.1; done
    for job in $(seq "$jobs"); do
        /usr/bin/time -v -o "$work/time$job" "$build/tools/afs-scan/afs-scan" --plugin "$build/Nutanix/NutanixAFSManager/libNutanixAFSManager.so" --server "$(head -1 "$work/url")" \
            --user admin --password-file "$work/pw" --state "$work/state" --settings "$work/host.ini" \
            --mount-table "$work/mounts" --scan-path "$work/shares/share1" > "$work/out$job"
        stat -c %s "$work/state/scan.db" > "$work/db$job"
        stat -c %s "$work/state/scan.db-wal" 2>/dev/null > "$work/wal$job" || echo 0 > "$work/wal$job"
    done
    kill "$sim"
    wait "$sim" 2>/dev/null || true
    for job in $(seq 2 "$jobs"); do
        wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time$job")
        rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time$job")
        rows=$(sqlite3 -readonly "$work/state/scan.db" "SELECT COUNT(*) FROM items WHERE job_id = $job")
        share=$(grep '^share' "$work/out$job")
        echo "afs-scan job=$job items=$n rows=$rows job_wall=$wall peak_rss_kib=$rss" \
             "db_bytes=$(cat "$work/db$job") wal_bytes=$(cat "$work/wal$job") | $share"
    done
    rm -rf "$work"
    "$build/bench/afs-bench-e2e" --items "$n" 2>/dev/null; echo
done
