#!/usr/bin/env bash
# Draws the first printed page of the survey reports of the example layer into
# docs/report-page.png: the reports are written, printed to PDF by the headless office and the
# first page drawn by pdftoppm, as a planner's printer would get it. Builds what it needs first.
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
echo "docs/report-page.png"
