#!/usr/bin/env bash
# Builds examples/minimal-host from an installed kit and runs jobs with it
# against afs-sim: a full job, then incremental jobs with a share new in the
# job, a share the server offers no snapshot of, a share whose difference
# the server refuses and a share whose reference snapshot is gone. Fails
# unless each job printed exactly the items a host must back up, and unless
# SIGINT cuts the example's wait for an unreachable server short.
#
# Usage: run-example.sh PREFIX EXAMPLE_SOURCE_DIR AFS_SIM WORK_DIR [AFS_SCAN]
#   PREFIX   the only place the example may find the kit in
#   AFS_SCAN also run a job with it, without --plugin: it must find the
#            installed plug-in by itself
set -euo pipefail
prefix="$1" example_src="$2" sim="$3" work="$4" scan="${5:-}"

cp -r "$example_src" "$work/minimal-host"
cmake -S "$work/minimal-host" -B "$work/minimal-host/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_TYPE=Release > "$work/example-configure.log"
cmake --build "$work/minimal-host/build" > "$work/example-build.log"
example="$work/minimal-host/build/minimal-host"

shares="$work/shares"
mkdir -p "$shares/share1/docs" "$shares/share2" "$shares/share3" "$shares/share4"
echo alpha > "$shares/share1/a.txt"
echo charlie > "$shares/share1/docs/c.txt"
echo bravo > "$shares/share2/b.txt"
echo delta > "$shares/share3/d.txt"

export AFS_SIM_PASSWORD=kit-password AFS_PASSWORD=kit-password
mkfifo "$work/sim.url"
"$sim" --shares "$shares" --state "$work/sim-state" --port 0 --log "$work/sim.log" \
  --share-capabilities share4= > "$work/sim.url" &
# On any exit (INT, TERM and HUP end in one too): the simulator and the
# waiting example below are ended, not left running.
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true' EXIT
exec 3< "$work/sim.url"
read -r -t 30 url <&3 || { echo "afs-sim printed no URL" >&2; cat "$work/sim.log" >&2; exit 1; }

# The shares are "mounted" at their own folders, where the simulator makes
# the snapshots the plug-in reads.
for share in share1 share2 share3 share4; do
  echo "127.0.0.1:/$share $shares/$share nfs rw 0 0"
done > "$work/mounts"
printf '[Host]\nMountTableFile = %s\n[FileSystemAgent]\nuHAWaitTime = 0\n' "$work/mounts" > "$work/host.ini"
export AFS_HOST_SETTINGS="$work/host.ini"

# run_job STATE JOB EXIT_STATUS SHARE...: the job's items, sorted, in $work/items
run_job() {
  local state="$1" job="$2" want="$3" status=0
  shift 3
  "$example" "$url" admin "$work/$state" "$job" "${@/#/$shares/}" > "$work/job$job.out" 2> "$work/job$job.err" ||
    status=$?
  if [ "$status" != "$want" ]; then
    echo "minimal-host job $job exited with $status, not $want:" >&2
    cat "$work/job$job.out" "$work/job$job.err" >&2
    exit 1
  fi
  grep -v '^snapshot of ' "$work/job$job.out" | sed "s|$shares/||g" | LC_ALL=C sort > "$work/items" || true
}
# expect JOB LINE...: the items, and the lines of its standard error
expect() {
  local job="$1"
  shift
  printf '%s\n' "$@" | LC_ALL=C sort > "$work/expected"
  if ! diff "$work/expected" "$work/items" >&2; then
    echo "minimal-host job $job printed other items than the ones above (< expected, > printed)" >&2
    cat "$work/job$job.err" >&2
    exit 1
  fi
}
said() {
  grep -qF "minimal-host: share $shares/$2" "$work/job$1.err" ||
    { echo "minimal-host job $1 did not say: share .../$2" >&2; cat "$work/job$1.err" >&2; exit 1; }
}

run_job state 1 0 share1 share2
[ ! -s "$work/items" ] || { echo "the full job printed changed items:" >&2; cat "$work/items" >&2; exit 1; }

echo "new" > "$shares/share1/new.txt"
echo "more" >> "$shares/share1/a.txt"
mv "$shares/share1/docs/c.txt" "$shares/share1/docs/c2.txt"
rm "$shares/share2/b.txt"
run_job state 2 3 share1 share2 share3 share4
expect 2 "ADD share1/new.txt" "MODIFY share1/a.txt" "MODIFY share1/docs/" \
  "RENAME share1/docs/c2.txt from share1/docs/c.txt" "DELETE share2/b.txt" "ADD share3/d.txt"
said 2 "share3: job 1 did not back it up; listing its whole snapshot"
said 2 "share4 is not backed up: it got no snapshot"

# The server refuses the first difference of the next job: share1's.
origin="${url%%/api/*}"
scenario() {
  curl -sf -u admin:kit-password -H 'Content-Type: application/json' -X POST "$origin/_sim/scenario" --data "$1" \
    > /dev/null
}
scenario '{"faults": [{"operation": "incremental_diff", "status": 500}]}'
echo echo > "$shares/share2/e.txt"
run_job state 3 0 share1 share2
expect 3 "ADD share1/a.txt" "ADD share1/docs/" "ADD share1/docs/c2.txt" "ADD share1/new.txt" "ADD share2/e.txt"
said 3 "share1: its difference failed (other): "
scenario {}

# Another host with the same ids runs job 5 on share1 in a state folder of
# its own: it removes job 3's snapshot of share1, the reference of job 4.
run_job other-state 5 0 share1
expect 5 "ADD share1/a.txt" "ADD share1/docs/" "ADD share1/docs/c2.txt" "ADD share1/new.txt"
rm "$shares/share2/e.txt"
run_job state 4 0 share1 share2
expect 4 "ADD share1/a.txt" "ADD share1/docs/" "ADD share1/docs/c2.txt" "ADD share1/new.txt" "DELETE share2/e.txt"
said 4 "share1: it has no reference snapshot; listing its whole snapshot"

# The cancel hook: SIGINT ends the wait for a server that does not answer.
printf '[Host]\nMountTableFile = %s\nLogLevel = 0\n[FileSystemAgent]\nuHAWaitTime = 600\n' "$work/mounts" \
  > "$work/wait.ini"
AFS_HOST_SETTINGS="$work/wait.ini" "$example" http://127.0.0.1:1 admin "$work/state" 6 \
  "$shares/share1" > "$work/wait.out" 2> "$work/wait.err" &
waiting=$!
for _ in $(seq 300); do
  grep -q 'retrying, 0 s of 600 s' "$work/wait.err" && break
  sleep 0.1
done
kill -INT "$waiting"
status=0
wait "$waiting" || status=$?
if [ "$status" != 1 ] || ! grep -q 'error: .*cancelled by the host' "$work/wait.err"; then
  echo "SIGINT did not end the example's wait (exit status $status):" >&2
  cat "$work/wait.err" >&2
  exit 1
fi

if [ -n "$scan" ] && ! "$scan" --server "$url" --user admin --state "$work/scan-state" --settings "$work/host.ini" --take-over --scan-path "$shares/share1" > "$work/scan.out" 2>&1; then
  echo "afs-scan without --plugin failed:" >&2
  cat "$work/scan.out" >&2
  exit 1
fi
