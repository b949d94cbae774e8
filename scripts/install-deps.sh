#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test the system.
# Safe to run again: only missing packages are installed.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ninja-build
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libqt6sql6-sqlite libqt6sql6-psql libqt6opengl6-dev libgl-dev
  libxml2-dev libxml2-utils zlib1g-dev nettle-dev libcurl4-openssl-dev libsqlite3-dev libpq-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  sqlite3 postgresql postgresql-client
  zip unzip libarchive-tools python3
  python3-aiosmtpd dovecot-pop3d
  poppler-utils qpdf libqpdf-dev
  fonts-dejavu-core locales
  xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -q
  "${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A comma locale for the locale-independence tests.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU.utf8$'; then
  if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi
  "${SUDO[@]}" sed -i 's/^# *ru_RU.UTF-8 UTF-8/ru_RU.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | "${SUDO[@]}" tee -a /etc/locale.gen >/dev/null
  "${SUDO[@]}" locale-gen >/dev/null
fi
