#!/usr/bin/env bash
# Draws printed pages of the survey reports of the example layer into docs/: the first page
# (report-page.png) and the first page of the 72-column level-2 table, which goes on over
# further pages across (report-page-wide.png). The reports are written, printed to PDF by the
# headless office and the pages drawn by pdftoppm, as a planner's printer would get them. Builds
# what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh --tests

build=${QUILMARK_BUILD_DIR:-build}
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target quilmark

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/src/app/quilmark" --report all --level village --zone-names examples/三调乡镇名称.csv \
  -o "$work/统计报表.xlsx" examples/三调地类图斑示例.gpkg >/dev/null
soffice "-env:UserInstallation=file://$work/profile" --headless --convert-to pdf \
  --outdir "$work" "$work/统计报表.xlsx" >/dev/null 2>&1
mkdir -p docs
pdftoppm -f 1 -l 1 -r 60 -png -singlefile "$work/统计报表.pdf" docs/report-page
pdftoppm -f 2 -l 2 -r 60 -png -singlefile "$work/统计报表.pdf" docs/report-page-wide
echo "docs/report-page.png docs/report-page-wide.png"
