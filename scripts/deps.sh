#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with. Does nothing when all are present.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  libboost-regex-dev      # expression engine of the value layer
  zlib1g-dev              # bucket compression
  libcurl4-openssl-dev    # HTTP client
  libxerces-c-dev         # Base64 and transcoding
  libsqlite3-dev sqlite3  # every database of the project
  tzdata                  # time zones the event-time tests convert through
  libpugixml-dev          # message XML
  libcpp-httplib-dev      # HTTP server of the index engine and test peers
  libarchive-dev          # archive extraction
  nlohmann-json3-dev      # JSON
  libgtest-dev libgmock-dev libbenchmark-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
