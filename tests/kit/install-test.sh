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
    include/afs/host/NutanixAFSManagerBase.h include/afs/host/PluginLibrary.h include/afs/host/ErrorCategory.h \
    include/afs/host/Sleep.h include/afs/host/Progress.h include/afs/host/Version.h bin/afs-scan bin/afs-sim \
    share/man/man1/afs-scan.1.gz share/man/man1/afs-sim.1.gz share/man/man3/libafshost.3.gz; do
  [ -e "$prefix/$file" ] || fail "$file was not installed"
done
for file in LICENSE CHANGELOG.md README.md docs/integrating.md host-symbols.txt examples/minimal-host/main.cpp; do
  [ -e "$doc/$file" ] || fail "share/doc/NutanixAFSManager/$file was not installed"
done
# Only the host-facing headers; the Debian-only files stay out of a plain install.
[ ! -e "$prefix/include/afs/host/FXPath.h" ] || fail "an internal header was installed"
[ ! -e "$prefix/share/doc/libafshost0" ] || fail "Debian packaging files were installed"

readelf -d "$prefix/$libdir/libafshost.so.0" | grep -q 'SONAME.*\[libafshost.so.0\]' || fail "wrong SONAME"
# The plug-in's one export is the factory (C linkage); nothing else leaves it.
exported="$(nm -D --defined-only "$prefix/$libdir/afs/libNutanixAFSManager.so" | awk '$2 ~ /^[A-Z]$/ { print $2, $3 }')"
[ "$exported" = "T GetNutanixAFSManager" ] || fail "the plug-in exports more than its factory: $exported"
for elf in "$prefix/$libdir/afs/libNutanixAFSManager.so" "$prefix/$libdir/libafshost.so.$version" \
    "$prefix/bin/afs-scan" "$prefix/bin/afs-sim"; do
  runpath="$(readelf -d "$elf" | sed -n 's/.*(R[UN]*PATH).*\[\(.*\)\]/\1/p')"
  case "$runpath" in ''|'$ORIGIN'*) ;; *) fail "$elf has RUNPATH $runpath" ;; esac
  # Debian's hardening: relro, bind-now, stack protector, fortified calls.
  # (whole outputs first: grep -q would end the pipe early, which pipefail counts)
  segments="$(readelf -lW "$elf")" dynamic="$(readelf -dW "$elf")" imports="$(nm -D --undefined-only "$elf")"
  grep -q GNU_RELRO <<< "$segments" || fail "$elf is not linked with -z relro"
  grep -q 'FLAGS.*BIND_NOW' <<< "$dynamic" || fail "$elf is not linked with -z now"
  grep -q '__stack_chk_fail' <<< "$imports" || fail "$elf has no stack protector"
  grep -q '__[a-z]*_chk' <<< "$imports" || fail "$elf calls no fortified function"
  objcopy --strip-debug "$elf" "$work/stripped"
  ! grep -qF "$build" "$work/stripped" || fail "$elf has the build folder $build compiled in"
done

for tool in afs-scan afs-sim; do
  [ "$("$prefix/bin/$tool" --version)" = "$tool $version" ] || fail "$tool --version is not '$tool $version'"
  zcat "$prefix/share/man/man1/$tool.1.gz" | grep -qF '\-\-version' || fail "$tool.1 lacks --version"
done
for page in man1/afs-scan.1 man1/afs-sim.1 man3/libafshost.3; do
  warnings="$(zcat "$prefix/share/man/$page.gz" | groff -man -Tutf8 -ww -z 2>&1)"
  [ -z "$warnings" ] || fail "$page does not render cleanly: $warnings"
  for section in EXAMPLES 'EXIT STATUS' FILES ENVIRONMENT 'SEE ALSO'; do
    [ "$page" = man3/libafshost.3 ] && [ "$section" != FILES ] && [ "$section" != 'SEE ALSO' ] && continue
    zcat "$prefix/share/man/$page.gz" | grep -q "^\.SH \"\?$section" || fail "$page has no $section section"
  done
done
grep -m1 '^## \[[0-9]' "$doc/CHANGELOG.md" | grep -qF "## [$version] - " ||
  fail "CHANGELOG.md's newest released section is not $version"
grep -q 'INTERFACE_COMPILE_FEATURES "cxx_std_17"' "$prefix/$libdir/cmake/AfsHost/AfsHostTargets.cmake" ||
  fail "AfsHost::afshost does not carry cxx_std_17"

# pkg-config alone is enough to build a host too, with the command the docs give.
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
[ "$(pkg-config --modversion afshost)" = "$version" ] || fail "afshost.pc has the wrong version"
plugin="$(pkg-config --variable=plugin afshost)"
case "$plugin" in *//*) fail "afshost.pc's plugin variable $plugin has an empty component" ;; esac
[ "$(realpath "$plugin")" = "$(realpath "$prefix/$libdir/afs/libNutanixAFSManager.so")" ] ||
  fail "afshost.pc's plugin variable $plugin is not the installed plug-in"
# shellcheck disable=SC2046
c++ -std=c++17 -O1 "$doc/examples/minimal-host/main.cpp" -o "$work/pc-host" $(pkg-config --cflags --libs afshost) \
  -DAFS_PLUGIN="\"$(pkg-config --variable=plugin afshost)\"" -Wl,-rpath,"$(pkg-config --variable=libdir afshost)" ||
  fail "the example does not build with the documented pkg-config command"
status=0
"$work/pc-host" > /dev/null 2> "$work/pc-host.err" || status=$?
[ "$status" = 2 ] || fail "the pkg-config build does not run (exit status $status): $(cat "$work/pc-host.err")"

# The headers name their version and the library its own; a host built with
# the wrong standard or string ABI stops at one line of the kit's.
cat > "$work/version.cpp" <<'CPP'
#include <cstdio>
#include "host/Version.h"
int main() {
    std::printf("%d.%d.%d %s %d\n", AFS_HOST_VERSION_MAJOR, AFS_HOST_VERSION_MINOR, AFS_HOST_VERSION_PATCH,
                AfsHostVersion(), AFS_HOST_VERSION_NUMBER);
}
CPP
# shellcheck disable=SC2046
c++ -std=c++17 "$work/version.cpp" -o "$work/version" $(pkg-config --cflags --libs afshost) \
  -Wl,-rpath,"$prefix/$libdir" || fail "a host using host/Version.h does not build"
IFS=. read -r major minor patch <<< "$version"
[ "$("$work/version")" = "$version $version $((major * 10000 + minor * 100 + patch))" ] ||
  fail "the version macros or AfsHostVersion() say $("$work/version"), not $version"
printf '#include "host/NutanixAFSManagerBase.h"\n#include "host/PluginLibrary.h"\nint main() {}\n' > "$work/guard.cpp"
for flags in -std=c++14 '-std=c++17 -D_GLIBCXX_USE_CXX11_ABI=0'; do
  # shellcheck disable=SC2046,SC2086
  if c++ $flags -fsyntax-only $(pkg-config --cflags afshost) "$work/guard.cpp" 2> "$work/guard.err"; then
    fail "a host built with $flags compiles"
  fi
  first="$(grep -m1 'error' "$work/guard.err")"
  case "$first" in
    *'#error "libafshost needs '*) ;;
    *) fail "a host built with $flags does not stop at the kit's line but at: $first" ;;
  esac
done

# In the background, so that the exit trap can end it (and so its simulator).
"$here/run-example.sh" "$prefix" "$doc/examples/minimal-host" "$prefix/bin/afs-sim" "$work" "$prefix/bin/afs-scan" &
wait "$!"
! grep -qF "$(cd "$here/../.." && pwd)" "$work/minimal-host/build/build.ninja" ||
  fail "the example was built with paths into the source tree"
echo "kit_install: ok"
