#!/usr/bin/env bash
# Makes a fresh, headless Wine prefix at $1 (or reuses a finished one).
set -euo pipefail
prefix=$1
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
if [ -f "$prefix/.quarn-ready" ]; then exit 0; fi
rm -rf "$prefix"
mkdir -p "$prefix"
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w
touch "$prefix/.quarn-ready"
