#!/usr/bin/env bash
# Installs what Quilmark needs to build, run and test on Debian 12. Quick when all is there:
# apt is only called for packages that are missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libzip-dev zlib1g-dev libisal-dev libpugixml-dev libexpat1-dev libcli11-dev libxlsxwriter-dev
  qt6-base-dev fonts-wqy-microhei qt6-translations-l10n
  libgdal-dev libgeos-dev libpq-dev
)
# The tests also check written workbooks with an independent reader, run the live host against
# a headless office, build the Debian package (CPack's dependency scan needs `file`) and check
# it with lintian and its desktop entry; the GIS tests write their layers with ogr2ogr and start a PostGIS server of
# their own; the fuzz targets run briefly (clang with libFuzzer); the printed page of a survey
# report in the README is the office's PDF drawn by pdftoppm; the benchmark times ISA-L's igzip
# next to the run (isal); the survey's ellipsoidal area is checked against GeographicLib's
# geodesic polygon area.
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev isal
  python3 python3-openpyxl python3-xlsxwriter
  libreoffice-calc-nogui libreoffice-dev
  dpkg-dev file desktop-file-utils lintian
  gdal-bin postgresql-15-postgis-3 sqlite3 poppler-utils
  clang libclang-rt-14-dev
  libgeographiclib-dev
)

want=("${packages[@]}")
if [ "${1:-}" = "--tests" ]; then
  want+=("${test_packages[@]}")
fi
# Making the Debian package needs dpkg-shlibdeps, and CPack's dependency scan needs `file`.
if [ "${1:-}" = "--package" ]; then
  want+=(dpkg-dev file)
fi

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}"
fi
