#!/usr/bin/env bash
# Installs the Debian packages the build, the host and the tests need, when they are missing.
set -euo pipefail

packages=(cmake ninja-build g++ qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc
          libpq-dev libsqlite3-dev unixodbc-dev tdsodbc xvfb openbox x11-utils libgtest-dev libbenchmark-dev postgresql sqlite3
          poppler-utils  # pdftotext: the receipt tests read the PDFs back
          dpkg-dev file desktop-file-utils lintian pkgconf)  # the package and its tests

# `install-deps.sh fuzz`: also what the fuzz programs' build needs (clang with its fuzzing and
# sanitizer runtime).
[ "${1:-}" = fuzz ] && packages+=(clang libclang-rt-14-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then SUDO=sudo; else
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them as root: apt-get install ${missing[*]}" >&2
    exit 1
  fi
else
  SUDO=
fi
echo "Installing: ${missing[*]}"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
