#!/usr/bin/env bash
# The product end to end: starts the file-server simulator on a sample tree of
# shares, runs a full backup job and then an incremental one through the
# plug-in with the reference host afs-scan, shows the incremental job's
# changes from the scan database and checks them against the changes made to
# the tree. Exit status 0 when every expected change, and nothing else, was
# found. Everything lives in a fresh temporary folder, removed at the end
# unless KEEP=1 (then its path is printed, e.g. to open state/scan.db).
#
# Usage: [KEEP=1] scripts/demo.sh [BUILD_DIR]   (default: $AFS_BUILD_DIR, else build/)
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
build_dir="${1:-${AFS_BUILD_DIR:-build}}"
scan="$build_dir/tools/afs-scan/afs-scan"
sim="$build_dir/tools/afs-sim/afs-sim"
plugin="$build_dir/Nutanix/NutanixAFSManager/libNutanixAFSManager.so"
for file in "$scan" "$sim" "$plugin"; do
  if [ ! -f "$file" ]; then
    echo "demo: $file is missing; build first (make build, or ninja -C $build_dir afs-scan afs-sim)" >&2
    exit 1
  fi
done
command -v sqlite3 >/dev/null || { echo "demo: the sqlite3 program is needed" >&2; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/afs-demo.XXXXXX")"
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  if [ "${KEEP:-0}" = 1 ]; then
    echo "== Kept the work folder: $work (scan database: $work/state/scan.db)"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

shares="$work/shares"
state="$work/state"
db="$state/scan.db"

echo "== Sample tree in $shares"
mkdir -p "$shares/share1/docs" "$shares/share1/old" "$shares/share2/logs" "$shares/scratch"
echo "alpha" > "$shares/share1/a.txt"
echo "bravo" > "$shares/share1/b.txt"
echo "charlie" > "$shares/share1/docs/c.txt"
echo "delta" > "$shares/share1/docs/d.txt"
echo "x-ray" > "$shares/share1/old/x.txt"
head -c 4096 /dev/zero > "$shares/share2/data.bin"
echo "log line" > "$shares/share2/logs/1.log"
echo "scratch" > "$shares/scratch/s.txt"

printf 'demo-password\n' > "$work/password"
chmod 600 "$work/password"

echo "== Starting afs-sim (share 'scratch' without the CFT_BACKUP capability)"
mkfifo "$work/sim.url"
"$sim" --shares "$shares" --state "$work/sim-state" --port 0 --user admin --password-file "$work/password" \
  --share-capabilities scratch=SMB_ONLY --log "$work/sim.log" > "$work/sim.url" &
sim_pid=$!
exec 3< "$work/sim.url"
if ! read -r -t 20 url <&3; then
  echo "demo: afs-sim printed no URL" >&2
  cat "$work/sim.log" >&2 || true
  exit 1
fi
echo "   $url"

# The shares are "mounted" at their real folders, so the snapshots the
# simulator makes under SHARE/.snapshot/NAME are readable where the plug-in
# expects them.
escape() { printf '%s' "$1" | sed -e 's/\\/\\134/g' -e 's/ /\\040/g' -e 's/\t/\\011/g'; }
: > "$work/mounts"
for share in share1 share2 scratch; do
  echo "127.0.0.1:/$share $(escape "$shares/$share") nfs rw 0 0" >> "$work/mounts"
done
cat > "$work/host.ini" <<INI
[Host]
LogLevel = 3
[FileSystemAgent]
uHAWaitTime = 0
NutanixRetrySleep = 1
MaxScanRetries = 5
INI

run_job() {
  local status=0
  "$scan" --plugin "$plugin" --server "$url" --user admin --password-file "$work/password" --state "$state" --db "$db" \
    --settings "$work/host.ini" --mount-table "$work/mounts" --map "$shares=/127.0.0.1" \
    --client-id 7 --app-id 1 \
    --scan-path "$shares/share1" --scan-path "$shares/share2" --scan-path "$shares/scratch" "$@" || status=$?
  # Exit status 3: a requested share (scratch, on purpose) was not backed up.
  if [ "$status" != 0 ] && [ "$status" != 3 ]; then
    echo "demo: afs-scan failed with exit status $status" >&2
    exit 1
  fi
}

echo "== Job 1 (full)"
run_job --summary-json "$work/job1.json"

echo "== Changing the tree"
echo "new file" > "$shares/share1/new.txt"                       # ADD
echo "more" >> "$shares/share1/a.txt"                            # MODIFY
mv "$shares/share1/docs/c.txt" "$shares/share1/docs/c-renamed.txt" # RENAME (+ MODIFY docs)
rm "$shares/share1/old/x.txt"                                    # DELETE (+ MODIFY old)
mkdir "$shares/share2/reports"                                   # ADD directory with files
echo "r1" > "$shares/share2/reports/r1.txt"
echo "r2" > "$shares/share2/reports/r2.txt"
rm "$shares/share2/logs/1.log"                                   # DELETE (+ MODIFY logs)
echo "ignored" >> "$shares/scratch/s.txt"                         # not backed up: never reported

echo "== Job 2 (incremental)"
run_job --summary-json "$work/job2.json"

echo "== Changes recorded for job 2"
sqlite3 -header -column "$db" \
  "SELECT change_type, path, old_path, is_dir, size FROM items WHERE job_id = 2 ORDER BY path, change_type"

expected="$(sort <<LIST
ADD /127.0.0.1/share1/new.txt
MODIFY /127.0.0.1/share1/a.txt
RENAME /127.0.0.1/share1/docs/c-renamed.txt /127.0.0.1/share1/docs/c.txt
MODIFY /127.0.0.1/share1/docs
DELETE /127.0.0.1/share1/old/x.txt
MODIFY /127.0.0.1/share1/old
ADD /127.0.0.1/share2/reports
ADD /127.0.0.1/share2/reports/r1.txt
ADD /127.0.0.1/share2/reports/r2.txt
DELETE /127.0.0.1/share2/logs/1.log
MODIFY /127.0.0.1/share2/logs
LIST
)"
actual="$(sqlite3 -separator ' ' "$db" \
  "SELECT change_type, path || CASE WHEN old_path <> '' THEN ' ' || old_path ELSE '' END FROM items WHERE job_id = 2" |
  sort)"

if [ "$expected" != "$actual" ]; then
  echo "== MISMATCH between the changes made and the changes recorded" >&2
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  exit 1
fi
full_items="$(sqlite3 "$db" "SELECT COUNT(*) FROM items WHERE job_id = 1")"
if [ "$full_items" != "0" ]; then
  echo "demo: the full job stored $full_items items; it should only take snapshots" >&2
  exit 1
fi
echo "== OK: job 2 recorded exactly the $(echo "$expected" | wc -l) expected changes"
