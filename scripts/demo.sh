#!/usr/bin/env bash
# The main job on the bundled sample game: pack Star Courier into a launcher
# package, start it under Wine in a fresh prefix, and show where it installed
# the game, what it unpacked, the stamp and the game's own record of its
# start; then start it again and show that nothing was unpacked this time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh native windows

quarn=build/native/bin/quarn
work=build/demo
rm -rf "$work"
mkdir -p "$work/game"
cp -r samples/star-courier/files/. "$work/game/"
cp build/windows/bin/StarCourier.exe "$work/game/"

echo "== quarn pack"
"$quarn" pack --game "$work/game" --id harbourworks.starcourier --version 1.0.0.7 \
  --lead "Star Courier, the sample game" --out "$work/StarCourier.exe" --kit build/windows/kit
echo
echo "== quarn inspect"
"$quarn" inspect "$work/StarCourier.exe"
echo

prefix=$PWD/$work/wineprefix
echo "== a fresh Wine prefix (null display driver)"
scripts/wine-prefix.sh "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=

start_package() {
  # Started from the folder it lies in, as a player would; the launcher does
  # not wait for the game, so wait for Wine to settle.
  (cd "$work" && wine StarCourier.exe)
  wineserver -w
}

echo "== first start"
start_package
install=$(find "$prefix/drive_c/users" -path '*/Documents/QUARN/bin/harbourworks/starcourier' -type d)
echo "install folder: $install"
echo "  (in Windows terms: C:${install#"$prefix/drive_c"}\\)" | tr '/' '\\'
echo
echo "== installed tree"
(cd "$install" && find . -mindepth 1 | sort)
echo
echo "== gameversion.txt: build number and payload size"
cat "$install/gameversion.txt"; echo
echo
echo "== launch-record.txt, written by the game"
cat "$install/launch-record.txt"
echo

before=$(cd "$install" && find . -type f ! -name launch-record.txt -printf '%p %T@\n' | sort)
echo "== second start"
start_package
after=$(cd "$install" && find . -type f ! -name launch-record.txt -printf '%p %T@\n' | sort)
if [[ "$before" == "$after" ]]; then
  echo "nothing was unpacked: every installed file kept its time, the stamp is unchanged"
else
  echo "files changed on the second start:" >&2
  diff <(echo "$before") <(echo "$after") >&2 || true
  exit 1
fi
starts=$(grep -c '^started:' "$install/launch-record.txt")
echo "the game was started $starts times:"
cat "$install/launch-record.txt"
[[ $starts -eq 2 ]]
