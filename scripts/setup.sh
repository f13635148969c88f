#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (when run as
# root and something is missing), then configures and builds the presets
# named on the command line (native, native-asan, tsan, windows).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ zlib1g-dev libgtest-dev googletest libzip-dev pkg-config
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine64
  zip unzip p7zip-full libarchive-tools python3 time
  osslsigncode openssl
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]})); then
  if [[ $(id -u) -eq 0 ]]; then
    echo "setup: installing ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  else
    echo "setup: missing Debian packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
fi

jobs=$(nproc)
for preset in "$@"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
