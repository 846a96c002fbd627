#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, moves the prefix (the kit
# must be relocatable), checks what was installed, and builds and runs
# examples/minimal-host against that prefix alone.
#
# Usage: install-test.sh BUILD_DIR VERSION
set -euo pipefail
version="$2"
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
kit_begin kit_install "$1"

cmake --install "$build" --prefix "$work/staged" > "$work/install.log"
mv "$work/staged" "$work/prefix"
prefix="$work/prefix"
libdir="$(cd "$prefix" && ls -d lib/*/afs 2>/dev/null || ls -d lib/afs)"
libdir="${libdir%/afs}"
doc="$prefix/share/doc/NutanixAFSManager"

for file in "$libdir/afs/libNutanixAFSManager.so" "$libdir/libafshost.so.$version" "$libdir/libafshost.so.0" \
    "$libdir/libafshost.so" "$libdir/cmake/AfsHost/AfsHostConfig.cmake" "$libdir/pkgconfig/afshost.pc" \
    include/afs/host/NutanixAFSManagerBase.h include/afs/host/PluginLibrary.h bin/afs-scan bin/afs-sim \
    share/man/man1/afs-scan.1.gz share/man/man1/afs-sim.1.gz; do
  [ -e "$prefix/$file" ] || fail "$file was not installed"
done
for file in LICENSE CHANGELOG.md README.md docs/integrating.md host-symbols.txt examples/minimal-host/main.cpp; do
  [ -e "$doc/$file" ] || fail "share/doc/NutanixAFSManager/$file was not installed"
done
# Only the host-facing headers; the Debian-only files stay out of a plain install.
[ ! -e "$prefix/include/afs/host/FXPath.h" ] || fail "an internal header was installed"
[ ! -e "$prefix/share/doc/libafshost0" ] || fail "Debian packaging files were installed"

readelf -d "$prefix/$libdir/libafshost.so.0" | grep -q 'SONAME.*\[libafshost.so.0\]' || fail "wrong SONAME"
for elf in "$prefix/$libdir/afs/libNutanixAFSManager.so" "$prefix/$libdir/libafshost.so.$version" \
    "$prefix/bin/afs-scan" "$prefix/bin/afs-sim"; do
  runpath="$(readelf -d "$elf" | sed -n 's/.*(R[UN]*PATH).*\[\(.*\)\]/\1/p')"
  case "$runpath" in ''|'$ORIGIN'*) ;; *) fail "$elf has RUNPATH $runpath" ;; esac
  objcopy --strip-debug "$elf" "$work/stripped"
  ! grep -qF "$build" "$work/stripped" || fail "$elf has the build folder $build compiled in"
done

for tool in afs-scan afs-sim; do
  [ "$("$prefix/bin/$tool" --version)" = "$tool $version" ] || fail "$tool --version is not '$tool $version'"
  zcat "$prefix/share/man/man1/$tool.1.gz" | grep -qF '\-\-version' || fail "$tool.1 lacks --version"
done

# pkg-config alone is enough to compile a host too.
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
[ "$(pkg-config --modversion afshost)" = "$version" ] || fail "afshost.pc has the wrong version"
[ -f "$(pkg-config --variable=plugin afshost)" ] || fail "afshost.pc's plugin variable names no file"
# shellcheck disable=SC2046
c++ -std=c++17 -fsyntax-only $(pkg-config --cflags afshost) -DAFS_PLUGIN='""' \
  "$doc/examples/minimal-host/main.cpp" || fail "the example does not compile with pkg-config's flags"

"$here/run-example.sh" "$prefix" "$doc/examples/minimal-host" "$prefix/bin/afs-sim" "$work" "$prefix/bin/afs-scan"
! grep -qF "$(cd "$here/../.." && pwd)" "$work/minimal-host/build/build.ninja" ||
  fail "the example was built with paths into the source tree"
echo "kit_install: ok"
