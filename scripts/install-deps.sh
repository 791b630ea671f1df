#!/usr/bin/env bash
# Installs the Debian packages a build (and, with --test, the test suite) needs, only those missing.
set -euo pipefail
packages=(g++ cmake make zlib1g-dev libdeflate-dev musl-tools libfltk1.3-dev fluid fonts-nanum)
if [ "${1:-}" = --test ]; then
  packages+=(libgtest-dev zip unzip p7zip-full libarchive-tools python3 xvfb xdotool)
fi
if [ "${1:-}" = --fuzz ]; then
  packages+=(libgtest-dev zip unzip p7zip-full libarchive-tools python3 clang-14 libfuzzer-14-dev libclang-rt-14-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "installing: ${missing[*]}"
$sudo apt-get -o DPkg::Lock::Timeout=900 update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}"
