# Shared by the scripts: the Debian packages the panel needs, and its build.

TOLVEK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
TOLVEK_BUILD=${TOLVEK_BUILD:-$TOLVEK_ROOT/build}

# To build and run the panel.
TOLVEK_BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev qt6-base-dev-tools
    libgl-dev fonts-ipafont-gothic qt6-svg-dev)
# To build the Debian package and check the files a desktop reads.
TOLVEK_DIST_PACKAGES=(dpkg-dev file desktop-file-utils appstream groff-base)
# To drive the real program from outside in the end-to-end tests.
TOLVEK_E2E_PACKAGES=(xvfb xauth xdotool x11-utils dbus-daemon dbus-x11 at-spi2-core python3 python3-pyatspi
    python3-xlib)

# Installs whichever of the named packages are missing; without root it says what to run.
ensure_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local line="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. As root, run:" >&2
        echo "  $line" >&2
        return 1
    fi
    echo "Installing: ${missing[*]}"
    apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures once and builds the named targets (all without any), with a job per core.
build_panel() {
    [ -f "$TOLVEK_BUILD/build.ninja" ] ||
        cmake -S "$TOLVEK_ROOT" -B "$TOLVEK_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$TOLVEK_BUILD" -j "$(nproc)" "$@"
}
