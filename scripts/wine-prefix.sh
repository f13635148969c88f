#!/usr/bin/env bash
# Makes a fresh, headless Wine prefix at $1 (or reuses a finished one).
set -euo pipefail
prefix=$1
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= LC_ALL=C.UTF-8

# Wine links the user's shell folders (Documents, Desktop, ...) to the Unix
# home; make them folders of the prefix, so that nothing run here writes
# outside it. Done on every call, for prefixes made before this rule too.
keep_folders_inside() {
  for link in "$prefix"/drive_c/users/*/*; do
    if [ -L "$link" ]; then
      rm "$link"
      mkdir "$link"
    fi
  done
}

if [ ! -f "$prefix/.quarn-ready" ]; then
  rm -rf "$prefix"
  mkdir -p "$prefix"
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
  # Without the null display driver every window would need an X server.
  if ! grep -q '^"Graphics"="null"' "$prefix/user.reg"; then
    echo "wine-prefix: the null display driver could not be set in $prefix" >&2
    exit 1
  fi
  touch "$prefix/.quarn-ready"
fi
keep_folders_inside
