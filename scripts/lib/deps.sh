# shellcheck shell=bash
# Debian 12 packages the build, the tests, the demo and the benchmarks need.
# Sourced by scripts/test and scripts/demo.

ZAV_PACKAGES=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-tools-dev qt6-tools-dev-tools libqt6opengl6-dev libgl-dev
    qt6-base-private-dev qt6-wayland libxcb1-dev
    qt6-l10n-tools qt6-translations-l10n python3
    libarchive-dev libzstd-dev libglib2.0-dev zlib1g-dev libsodium-dev libssl-dev
    nginx curl time xz-utils zstd bzip2 strace minisign openssl procps
    xvfb xauth x11-utils x11-xserver-utils xdotool imagemagick openbox
    fonts-dejavu-core debootstrap desktop-file-utils
    weston at-spi2-core python3-pyatspi dbus
)

# Installs what is missing of the packages named (ZAV_PACKAGES when none is): with apt-get when
# root, otherwise prints the line to run and stops.
# shellcheck disable=SC2120 # the scripts call it without arguments for the whole list
zav_ensure_packages() {
    local missing=() package wanted=("$@")
    [ ${#wanted[@]} -gt 0 ] || wanted=("${ZAV_PACKAGES[@]}")
    for package in "${wanted[@]}"; do
        # grep reads to the end (no -q): dpkg-query must not die of SIGPIPE under pipefail.
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep 'ok installed' > /dev/null; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "These Debian packages are missing. Install them, then run this again:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}
