#!/usr/bin/env bash
# Makes the Debian packages from the build tree, checks their dependencies,
# split debug information and (when lintian is installed) lintian's verdict,
# extracts them into a temporary root with dpkg-deb -x, and builds and runs
# examples/minimal-host against that root alone.
#
# Usage: debian-test.sh BUILD_DIR VERSION
set -euo pipefail
version="$2"
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
kit_begin kit_debian_packages "$1"

cpack --config "$build/CPackConfig.cmake" -B "$work/packages" > "$work/cpack.log" ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
arch="$(dpkg --print-architecture)"
cd "$work/packages"
for package in libafshost0 libafshost-dev afs-tools; do
  [ -f "${package}_${version}_$arch.deb" ] || fail "no ${package}_${version}_$arch.deb (made: $(ls))"
done
for package in libafshost0 afs-tools; do
  [ -f "$package-dbgsym_${version}_$arch.ddeb" ] || fail "no $package-dbgsym package (made: $(ls))"
done

depends() { dpkg-deb -f "$1_${version}_$arch.deb" Depends; }
for library in libcurl4 libcpprest libsimdjson libstdc++6; do
  depends libafshost0 | grep -q "$library" || fail "libafshost0 does not depend on $library: $(depends libafshost0)"
done
depends afs-tools | grep -q libsqlite3 || fail "afs-tools does not depend on libsqlite3: $(depends afs-tools)"
depends afs-tools | grep -q "libafshost0 (= $version)" || fail "afs-tools does not depend on libafshost0"
depends libafshost-dev | grep -q "libafshost0 (= $version)" || fail "libafshost-dev does not depend on libafshost0"

for deb in *.deb; do dpkg-deb -x "$deb" "$work/root"; done
plugin="$(find "$work/root" -name libNutanixAFSManager.so)"
# Installed into /usr, pkg-config names plain /usr paths.
pc_plugin="$(PKG_CONFIG_PATH="$(dirname "$(find "$work/root" -name afshost.pc)")" pkg-config --variable=plugin afshost)"
[ "$work/root$pc_plugin" = "$plugin" ] || fail "afshost.pc's plugin variable is $pc_plugin, not ${plugin#"$work/root"}"
! readelf -S "$plugin" | grep -q debug_info || fail "the packaged plug-in still carries its debug information"

if command -v lintian > /dev/null; then
  lintian --fail-on error,warning ./*.deb > "$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log" >&2; fail "lintian found errors or warnings"; }
else
  echo "kit_debian_packages: lintian is not installed; its check was skipped"
fi

mkdir "$work/run"
# In the background, so that the exit trap can end it (and so its simulator).
"$here/run-example.sh" "$work/root/usr" "$work/root/usr/share/doc/NutanixAFSManager/examples/minimal-host" \
  "$work/root/usr/bin/afs-sim" "$work/run" "$work/root/usr/bin/afs-scan" &
wait "$!"
echo "kit_debian_packages: ok"
