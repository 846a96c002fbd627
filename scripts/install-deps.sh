#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# A no-op (no apt-get at all) when every package is already installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libboost-dev libcpprest-dev libcurl4-openssl-dev libssl-dev
  libsimdjson-dev libcpp-httplib-dev libsqlite3-dev sqlite3
  libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format libclang-rt-14-dev openssl
  dpkg-dev file help2man lintian groff-base
)

missing=()
for pkg in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
