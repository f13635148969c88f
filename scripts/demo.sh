#!/usr/bin/env bash
# The main job on the bundled sample game: the game folder is zipped with an
# independent tool, then listed and unpacked by quarn exactly the way the
# launcher unpacks its payload, and the result is compared with the source.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh native

quarn=build/native/bin/quarn
work=build/demo
rm -rf "$work"
mkdir -p "$work"

(cd samples/star-courier/files && zip -q -r -X "$OLDPWD/$work/sample-game.zip" .)
echo "== quarn list $work/sample-game.zip"
"$quarn" list "$work/sample-game.zip"
echo
echo "== quarn extract $work/sample-game.zip $work/install"
"$quarn" extract "$work/sample-game.zip" "$work/install"
echo "exit status 0: every entry installed"
echo
echo "== installed tree"
(cd "$work/install" && find . -mindepth 1 | sort)
echo
if diff -r samples/star-courier/files "$work/install" >/dev/null; then
  echo "== the installed tree is byte-identical to samples/star-courier/files"
else
  echo "== the installed tree differs from samples/star-courier/files" >&2
  exit 1
fi
