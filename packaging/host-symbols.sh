#!/usr/bin/env bash
# Writes the libafshost symbols the plug-in imports, one per line: the mangled
# name, two blanks, the demangled name. A host that provides its own
# libafshost.so must define every one of them.
#
# Usage: host-symbols.sh NM PLUGIN_SO AFSHOST_SO OUTPUT
set -euo pipefail
nm="$1" plugin="$2" host="$3" output="$4"

names() { "$nm" -D "$1" "$2" | awk 'NF >= 2 { sub(/@.*/, "", $NF); print $NF }' | LC_ALL=C sort -u; }
imported="$(names --undefined-only "$plugin")"
provided="$(names --defined-only "$host")"
LC_ALL=C comm -12 <(echo "$imported") <(echo "$provided") |
  while read -r name; do printf '%s  %s\n' "$name" "$(c++filt "$name")"; done > "$output.tmp"
if [ ! -s "$output.tmp" ]; then
  echo "host-symbols: $plugin imports nothing from $host; is it linked against libafshost?" >&2
  exit 1
fi
mv "$output.tmp" "$output"
