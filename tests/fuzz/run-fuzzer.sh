#!/usr/bin/env bash
# run-fuzzer.sh FUZZER SEED_DIR SECONDS: fuzzes for SECONDS from a scratch copy
# of the seeds; any crash, leak or timeout fails the run and leaves the input
# in the current directory.
set -euo pipefail
fuzzer=$1 seeds=$2 seconds=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$seeds"/. "$work"/
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
     -print_final_stats=1 "$work"
