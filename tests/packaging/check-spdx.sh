#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs scripts/spdx on a small scratch repository with one file of each kind
# and checks where the line lands, what stays untouched, that a second run
# changes nothing, and what --check reports.
#   check-spdx.sh <scripts/spdx>
set -euo pipefail

tool=${1:?usage: check-spdx.sh <scripts/spdx>}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
repo=$work/repo
mkdir -p "$repo/scripts" "$repo/src" "$repo/res" "$repo/build" "$repo/.ci"
cp "$tool" "$repo/scripts/spdx"
cd "$repo"
git init -q .
echo '/build/' >.gitignore

line='SPDX-License-Identifier: GPL-3.0-or-later'
printf '#pragma once\nint f();\n' >src/f.h
printf 'int f() { return 1; }' >src/f.cpp                 # no newline at the end
printf 'add_library(f src/f.cpp)\n' >CMakeLists.txt
printf '#!/bin/bash\necho hi\n' >scripts/run                  # a script without suffix
printf '#!/usr/bin/env python3\n# -*- coding: utf-8 -*-\nprint(1)\n' >scripts/tool.py
printf '<?xml version="1.0" encoding="UTF-8"?>\n<ui version="4.0"/>\n' >res/form.ui
printf '[Desktop Entry]\r\nType=Application\r\n' >res/app.desktop.in   # CRLF
printf '.TH F 1\n.SH NAME\n' >res/f.1.in
printf '<?xml version="1.0"?>\n<!-- SPDX-License-Identifier: CC0-1.0 -->\n<component/>\n' >res/meta.xml.in
printf '# Notes\n' >README.md
printf 'ab\0cd' >res/blob.bin
printf 'plain words, no shebang\n' >res/seed00
printf 'int g();\n' >build/generated.h
printf '#!/bin/bash\nexit 0\n' >.ci/run
git add -A
printf 'int h();\n' >src/new.h                                # not added to git yet

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
untouched=(README.md res/blob.bin res/seed00 build/generated.h .ci/run res/meta.xml.in)
declare -A before
for f in "${untouched[@]}"; do before[$f]=$(md5sum <"$f"); done

lacking=$(scripts/spdx --check) && fail "--check passed on files without the line"
expected='CMakeLists.txt
res/app.desktop.in
res/f.1.in
res/form.ui
scripts/run
scripts/spdx
scripts/tool.py
src/f.cpp
src/f.h
src/new.h'
# The copied tool carries its own line already.
expected=$(grep -v '^scripts/spdx$' <<<"$expected")
[[ $lacking == "$expected" ]] || fail "--check listed:
$lacking
expected:
$expected"

scripts/spdx >/dev/null || fail "adding the lines failed"

nth() { sed -n "${2}p" "$1" | tr -d '\r'; }
[[ $(nth src/f.h 1) == "// $line" && $(nth src/f.h 2) == '#pragma once' ]] || fail "src/f.h: $(head -2 src/f.h)"
[[ $(cat src/f.cpp) == "// $line"$'\n''int f() { return 1; }' ]] || fail "src/f.cpp: $(cat src/f.cpp)"
[[ $(nth src/new.h 1) == "// $line" ]] || fail "a file not yet in git was left out"
[[ $(nth CMakeLists.txt 1) == "# $line" ]] || fail "CMakeLists.txt: $(head -1 CMakeLists.txt)"
[[ $(nth scripts/run 1) == '#!/bin/bash' && $(nth scripts/run 2) == "# $line" ]] || fail "scripts/run: $(head -2 scripts/run)"
[[ $(nth scripts/tool.py 2) == '# -*- coding: utf-8 -*-' && $(nth scripts/tool.py 3) == "# $line" ]] \
  || fail "scripts/tool.py: $(head -3 scripts/tool.py)"
[[ $(nth res/form.ui 1) == '<?xml version="1.0" encoding="UTF-8"?>' && $(nth res/form.ui 2) == "<!-- $line -->" ]] \
  || fail "res/form.ui: $(head -2 res/form.ui)"
[[ $(head -1 res/app.desktop.in) == "# $line"$'\r' ]] || fail "res/app.desktop.in lost its CRLF line ends"
[[ $(nth res/f.1.in 1) == ".\\\" $line" ]] || fail "res/f.1.in: $(head -1 res/f.1.in)"
for f in "${untouched[@]}"; do
  [[ $(md5sum <"$f") == "${before[$f]}" ]] || fail "$f was changed"
done

sums=$(git ls-files -co --exclude-standard | xargs md5sum)
again=$(scripts/spdx)
[[ -z $again ]] || fail "a second run reported: $again"
[[ $(git ls-files -co --exclude-standard | xargs md5sum) == "$sums" ]] || fail "a second run changed files"
out=$(scripts/spdx --check) || fail "--check failed after the lines were added: $out"

rc=0
scripts/spdx --frobnicate 2>/dev/null || rc=$?
((rc == 2)) || fail "an unknown option gave status $rc"

((failures == 0)) || exit 1
echo "spdx tool OK"
