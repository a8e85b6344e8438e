#!/usr/bin/env bash
# Installs, with apt-get, whatever the build and the tests need and this
# machine lacks, and the extra packages named as arguments (what one of the
# other scripts needs). Does nothing when everything is there already.
#   scripts/install-deps.sh [package...]
set -euo pipefail

# pkgconf, dpkg-dev (dpkg-shlibdeps), file and groff-base: the install,
# package and manual page tests.
packages=(cmake g++ make libgtest-dev pkgconf dpkg-dev file groff-base "$@")

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
