#!/usr/bin/env bash
# Renders the breakdown page of a hold'em range in headless Chromium, checks that the
# browser built the whole grid, and saves a screenshot of it for the README.
#
#   bash tools/screenshot_grid.sh [OUTPUT.png]     (default: docs/images/grid.png)
#
# Needs the package installed (pip install .) with `vantor` on PATH, and Chromium from
# Debian's packages (installed here when missing). Not part of CI.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/images/grid.png}

if ! command -v chromium >/dev/null 2>&1; then
  apt-get update
  apt-get install -y chromium
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
page="$work/grid.html"
vantor holdem "22+, A2s+, K9s+, QTs+, JTs, ATo+, KJo+" "QQ+, AKs" --breakdown 1 --html "$page" >/dev/null

browser=(chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$work/profile")
# The DOM as the browser built it: 169 grid cells, 13 by 13.
cells=$("${browser[@]}" --dump-dom "file://$page" 2>/dev/null | grep -o '<td title="[2-9TJQKA][2-9TJQKA][so]\?:' | wc -l)
empty=$("${browser[@]}" --dump-dom "file://$page" 2>/dev/null | grep -o 'background:#eee' | wc -l)
if [ $((cells + empty)) -ne 169 ]; then
  echo "expected 169 grid cells in the rendered page, found $cells with combinations and $empty without" >&2
  exit 1
fi
# The caption and the grid fit in the top of the window; the table beneath is cut off.
"${browser[@]}" --window-size=660,745 --screenshot="$out" "file://$page" 2>/dev/null
echo "$cells cells with combinations, $empty without; screenshot in $out"
