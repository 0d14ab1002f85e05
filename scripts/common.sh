# Shared by scripts/run and scripts/test: Debian packages, configure and build.
# shellcheck shell=bash

QUARROW_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
QUARROW_BUILD="${QUARROW_BUILD:-$QUARROW_ROOT/build}"

QUARROW_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-webengine-dev libgl-dev qt6-image-formats-plugins libqt6svg6
    libqt6sql6-sqlite
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth fonts-dejavu-core fonts-wqy-microhei fonts-noto-color-emoji
    desktop-file-utils openssl
    openbox x11-utils xdotool
    libzip-dev unzip
)

# Installs what is missing (as root), or says which line would.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "${QUARROW_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -q
        apt-get install -y -q --no-install-recommends "${missing[@]}"
    else
        echo "Quarrow needs these Debian packages:" >&2
        echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
}

configure_and_build() {
    local generator=()
    command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
    if [ ! -f "$QUARROW_BUILD/CMakeCache.txt" ]; then
        cmake -S "$QUARROW_ROOT" -B "$QUARROW_BUILD" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    fi
    cmake --build "$QUARROW_BUILD" -j "$(nproc)" "$@"
}

# The web engine refuses to start as root unless its sandbox is off.
allow_root_webengine() {
    if [ "$(id -u)" -eq 0 ] && [ -z "${QTWEBENGINE_DISABLE_SANDBOX:-}" ]; then
        export QTWEBENGINE_DISABLE_SANDBOX=1
    fi
}
