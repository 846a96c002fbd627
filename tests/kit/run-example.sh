#!/usr/bin/env bash
# Builds examples/minimal-host from an installed kit and runs a full and an
# incremental job with it against afs-sim; fails unless the incremental job
# printed exactly the changes made between the two jobs.
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
mkdir -p "$shares/share1/docs" "$shares/share2"
echo alpha > "$shares/share1/a.txt"
echo charlie > "$shares/share1/docs/c.txt"
echo bravo > "$shares/share2/b.txt"

export AFS_SIM_PASSWORD=kit-password AFS_PASSWORD=kit-password
mkfifo "$work/sim.url"
"$sim" --shares "$shares" --state "$work/sim-state" --port 0 --log "$work/sim.log" > "$work/sim.url" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
exec 3< "$work/sim.url"
read -r -t 30 url <&3 || { echo "afs-sim printed no URL" >&2; cat "$work/sim.log" >&2; exit 1; }

# The shares are "mounted" at their own folders, where the simulator makes
# the snapshots the plug-in reads.
printf '127.0.0.1:/share1 %s nfs rw 0 0\n127.0.0.1:/share2 %s nfs rw 0 0\n' \
  "$shares/share1" "$shares/share2" > "$work/mounts"
printf '[Host]\nMountTableFile = %s\n[FileSystemAgent]\nuHAWaitTime = 0\n' "$work/mounts" > "$work/host.ini"
export AFS_HOST_SETTINGS="$work/host.ini"

run_job() {
  if ! "$example" "$url" admin "$work/state" "$1" "$shares/share1" "$shares/share2" \
      > "$work/job$1.out" 2> "$work/job$1.err"; then
    echo "minimal-host job $1 failed:" >&2
    cat "$work/job$1.out" "$work/job$1.err" >&2
    exit 1
  fi
}
run_job 1
echo "new" > "$shares/share1/new.txt"
echo "more" >> "$shares/share1/a.txt"
mv "$shares/share1/docs/c.txt" "$shares/share1/docs/c2.txt"
rm "$shares/share2/b.txt"
run_job 2

expected="$(LC_ALL=C sort <<LIST
ADD $shares/share1/new.txt
MODIFY $shares/share1/a.txt
MODIFY $shares/share1/docs/
RENAME $shares/share1/docs/c2.txt from $shares/share1/docs/c.txt
DELETE $shares/share2/b.txt
LIST
)"
actual="$(grep -v '^snapshot of ' "$work/job2.out" | LC_ALL=C sort)"
if [ "$expected" != "$actual" ]; then
  echo "the incremental job printed other changes than were made:" >&2
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  exit 1
fi
if grep -qv '^snapshot of ' "$work/job1.out"; then
  echo "the full job printed changed items:" >&2
  cat "$work/job1.out" >&2
  exit 1
fi
if [ -n "$scan" ] && ! "$scan" --server "$url" --user admin --state "$work/scan-state" --settings "$work/host.ini" --take-over --scan-path "$shares/share1" > "$work/scan.out" 2>&1; then
  echo "afs-scan without --plugin failed:" >&2
  cat "$work/scan.out" >&2
  exit 1
fi
