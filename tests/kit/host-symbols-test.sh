#!/usr/bin/env bash
# The host symbols docs/integrating.md lists must be the ones the built
# plug-in imports (written by packaging/host-symbols.sh at build time).
#
# Usage: host-symbols-test.sh GENERATED_LIST INTEGRATING_MD
set -euo pipefail
generated="$1" doc="$2"
listed="$(sed -n '/<!-- host-symbols:begin -->/,/<!-- host-symbols:end -->/p' "$doc" | grep -v '^<!--\|^```')"
[ -n "$listed" ] || { echo "kit_host_symbols: $doc has no host-symbols block" >&2; exit 1; }
if [ "$listed" != "$(cat "$generated")" ]; then
  echo "kit_host_symbols: the list in $doc is stale; replace it with $generated:" >&2
  diff <(echo "$listed") "$generated" >&2 || true
  exit 1
fi
