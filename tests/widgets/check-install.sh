#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs a built tree into a scratch prefix and checks what a desktop will
# find there: the program, the launcher entry, the theme icons and the
# AppStream description, validated by the freedesktop tools; and the modules
# where the program looks for them, each linking the Qt library (Charts, HTTP
# server) that the program does not.
#   check-install.sh <build dir> [module folder, relative to bin/]
set -euo pipefail

build=${1:?usage: check-install.sh <build dir>}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
id=org.chanload.ChanLoad

cmake --install "$build" --prefix "$prefix" >/dev/null

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
expect_file() {
  [[ -f $prefix/$1 ]] || fail "not installed: $1"
}

expect_file bin/chanload
[[ -x $prefix/bin/chanload ]] || fail "bin/chanload is not executable"
expect_file share/applications/$id.desktop
module_folder=${2:-}
if [[ -n $module_folder ]]; then
  needed() {
    readelf -d "$prefix/$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'
  }
  for pair in history:libQt6Charts metrics:libQt6HttpServer; do
    module=bin/$module_folder/chanload-${pair%%:*}.so lib=${pair#*:}
    expect_file "$module"
    grep -q "^$lib" <(needed bin/chanload) && fail "bin/chanload links $lib itself"
    [[ -f $prefix/$module ]] && { grep -q "^$lib" <(needed "$module") || fail "$module does not link $lib"; }
  done
fi
expect_file share/metainfo/$id.metainfo.xml
expect_file share/icons/hicolor/scalable/apps/$id.svg

# Width and height sit big-endian at bytes 16..23 of a PNG.
png_size() {
  od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }'
}
for n in 16 22 24 32 48 64 128 256; do
  png=share/icons/hicolor/${n}x${n}/apps/$id.png
  expect_file "$png"
  if [[ -f $prefix/$png ]]; then
    [[ $(head -c 8 "$prefix/$png" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] || fail "$png is not a PNG"
    size=$(png_size "$prefix/$png")
    [[ $size == "${n}x${n}" ]] || fail "$png is $size"
  fi
done

desktop=$prefix/share/applications/$id.desktop
if [[ -f $desktop ]]; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejected $id.desktop"
  grep -qx 'Exec=chanload' "$desktop" || fail "desktop entry does not start chanload"
  grep -qx "Icon=$id" "$desktop" || fail "desktop entry does not name the icon $id"
  grep -qx 'Categories=Network;HamRadio;' "$desktop" || fail "desktop entry categories"
fi
metainfo=$prefix/share/metainfo/$id.metainfo.xml
if [[ -f $metainfo ]]; then
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejected $id.metainfo.xml"
  grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
    || fail "metainfo does not launch $id.desktop"
fi

if ((failures)); then
  echo "$failures install layout check(s) failed" >&2
  exit 1
fi
echo "install layout OK"
