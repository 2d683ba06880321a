# Sourced by the other scripts: installs the Debian packages they need when
# they are missing, running one 'apt-get update' first on a fresh machine.

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    if [ -z "${GLORP_APT_UPDATED:-}" ]; then
        as_root apt-get update -q
        export GLORP_APT_UPDATED=1
    fi
    as_root env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# What building the native programs needs.
BUILD_PACKAGES=(cmake make g++ pkg-config libsdl2-dev libx11-dev libpng-dev libgif-dev)
# What the tests and benchmarks need on top.
TEST_PACKAGES=(googletest libgtest-dev libbenchmark-dev xvfb xauth xdotool x11-utils
               imagemagick g++-mingw-w64-x86-64 wine64 wine python3)
