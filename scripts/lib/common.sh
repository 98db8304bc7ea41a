# Shared by the scripts: the Debian packages the panel needs, and its build.

TOLVEK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
TOLVEK_BUILD=${TOLVEK_BUILD:-$TOLVEK_ROOT/build}
TOLVEK_BUILD_OPTIONS="-DCMAKE_BUILD_TYPE=RelWithDebInfo"

# To build and run the panel.
TOLVEK_BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev qt6-base-dev-tools
    libgl-dev fonts-ipafont-gothic qt6-svg-dev pkg-config libmosquitto-dev)
# To build the Debian package and check the files a desktop reads.
TOLVEK_DIST_PACKAGES=(dpkg-dev file desktop-file-utils appstream groff-base lintian)
# To drive the real program from outside in the end-to-end tests.
TOLVEK_E2E_PACKAGES=(xvfb xauth xdotool x11-utils dbus-daemon dbus-x11 at-spi2-core python3 python3-pyatspi
    python3-xlib ser2net mosquitto python3-paho-mqtt)
# For the checks beyond the tests: clang's fuzzing runtime, clang-tidy and clang-format.
TOLVEK_CHECK_PACKAGES=(clang libclang-rt-14-dev clang-tidy clang-format)

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
    build_in "$TOLVEK_BUILD" "$TOLVEK_BUILD_OPTIONS" "$@"
}

# Builds everything with the tests, which a folder configured by hand for the panel alone leaves out.
build_tests() {
    configure_in "$TOLVEK_BUILD" "$TOLVEK_BUILD_OPTIONS"
    grep -qiE '^BUILD_TESTING:BOOL=(ON|1|YES|TRUE|Y)$' "$TOLVEK_BUILD/CMakeCache.txt" \
        || cmake -S "$TOLVEK_ROOT" -B "$TOLVEK_BUILD" -DBUILD_TESTING=ON >/dev/null
    build_panel
}

# run_ctest DIR [CTEST ARGUMENTS]: the tests of a build directory, a job per core. Finding no
# tests is a failure: a folder configured without them must not pass having run nothing.
run_ctest() (
    cd "$1" && shift && ctest --output-on-failure --no-tests=error -j "$(nproc)" "$@"
)

# build_in DIR "CMAKE OPTIONS" [TARGETS]: the same in a build directory of its own.
build_in() {
    configure_in "$1" "$2"
    local dir=$1
    shift 2
    cmake --build "$dir" -j "$(nproc)" "$@"
}

# configure_in DIR "CMAKE OPTIONS": configures DIR unless it is configured already. A new
# folder gets Ninja; one configured before, by hand or by a script, keeps its generator, and a
# configuration that stopped halfway is finished.
configure_in() {
    # shellcheck disable=SC2086 # the options are words
    if [ ! -f "$1/CMakeCache.txt" ]; then
        cmake -S "$TOLVEK_ROOT" -B "$1" -G Ninja $2 >/dev/null
    elif [ ! -f "$1/build.ninja" ] && [ ! -f "$1/Makefile" ]; then
        cmake -S "$TOLVEK_ROOT" -B "$1" $2 >/dev/null
    fi
}

# The fuzz targets' build: clang, everything instrumented for libFuzzer, ASan and UBSan.
TOLVEK_FUZZ_BUILD=$TOLVEK_ROOT/build-fuzz
TOLVEK_FUZZ_OPTIONS="-DCMAKE_BUILD_TYPE=Debug -DTOLVEK_FUZZ=ON"
