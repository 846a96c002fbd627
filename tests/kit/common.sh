# Sourced by the kit tests: `kit_begin NAME BUILD_DIR` sets `build` (absolute),
# `here` (this folder) and `work` (a temporary folder removed on exit, after
# the background children are ended: none may outlive the test), and defines
# `fail MESSAGE`.
kit_begin() {
  kit_name="$1"
  build="$(cd "$2" && pwd)"
  here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
  work="$(mktemp -d "${TMPDIR:-/tmp}/afs-$kit_name.XXXXXX")"
  trap 'kill $(jobs -p) 2> /dev/null || true; wait || true; rm -rf "$work"' EXIT
}
fail() { echo "$kit_name: $*" >&2; exit 1; }
