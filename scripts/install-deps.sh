#!/usr/bin/env bash
# Installs every Debian package that building, testing, packaging and benchmarking Tessary needs.
# A no-op on a machine that has them all; runs apt-get update only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsqlite3-dev sqlite3
  libcurl4-openssl-dev libssl-dev
  libgtest-dev
  python3 python3-pyftpdlib
  xvfb xauth curl
  desktop-file-utils
  # the Debian package and scripts/check-package.sh: building, lintian, the
  # metainfo, the man page, the user units (systemd-analyze)
  debhelper dpkg-dev lintian appstream man-db systemd git
  # FTPS and SFTP tests: real servers on loopback
  vsftpd openssh-server openssh-client openssl
  # bench/compare.sh: the tools Tessary is timed against
  lftp ncftp rclone hyperfine time
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
