# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by scripts/run and scripts/test: installs the Debian packages that are
# missing (as root, or through sudo), once.
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "need root or sudo to install: ${missing[*]}" >&2; return 1; }
    sudo=(sudo)
  fi
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What it takes to build and run ChanLoad.
BUILD_PACKAGES=(cmake ninja-build g++ lld make pkg-config qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev qt6-qpa-plugins libqt6sql6-sqlite
  qt6-httpserver-dev qt6-websockets-dev)
RUN_PACKAGES=(direwolf pv xvfb xauth libqt6sql6-sqlite)
# SQLite's own header: the store sets up SQLite's page cache before Qt's driver opens it.
BUILD_PACKAGES+=(libsqlite3-dev)
TEST_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev direwolf pv
  xvfb xauth xdotool trayer imagemagick x11-utils desktop-file-utils appstream dpkg-dev file
  fonts-dejavu-core qt6-svg-dev socat iproute2 procps lintian systemd man-db python3
  dbus at-spi2-core python3-pyatspi prometheus)
# What scripts/test-windows needs: the MinGW-w64 cross compiler, Wine to run
# its programs, and GoogleTest's sources to build for Windows.
WINDOWS_TEST_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix wine64 googletest)
