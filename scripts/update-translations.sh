#!/usr/bin/env bash
# Brings ui/translations/zav_en.ts up to date with the texts of the code and the skins
# (lupdate keeps the translations already there; new texts come in unfinished, to be
# translated in Qt Linguist or by hand). Run after changing a user-visible text.
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=${LUPDATE:-/usr/lib/qt6/bin/lupdate}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# lupdate reads Qt Designer files by their .ui extension; the skins are kept as .xml.
for skin in skin/*.xml; do
  grep -q '<ui version=' "$skin" && cp "$skin" "$work/$(basename "${skin%.xml}").ui"
done
"$lupdate" -silent -locations none -source-language zh_CN -target-language en \
  ui app/desktop "$work" -ts ui/translations/zav_en.ts
