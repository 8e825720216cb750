# Shared by scripts/run and scripts/test: install what is missing, then build into build/.
# Sourced, not run.

KESTREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KESTREL_BUILD="$KESTREL_ROOT/build"

# Debian packages the build, the tests and the running program need.
KESTREL_PACKAGES=(
    cmake g++ make pkg-config
    qt6-base-dev
    fonts-liberation
    xvfb xauth xdotool
    desktop-file-utils appstream libxml2-utils dpkg-dev
    ffmpeg libavcodec-dev libavformat-dev libavutil-dev
    gstreamer1.0-tools gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
    gstreamer1.0-plugins-ugly gstreamer1.0-libav
)

kestrel_die() {
    echo "kestrel: $*" >&2
    exit 1
}

# The checks' own tools: scripts/check-format and scripts/sanitize install them on first use.
KESTREL_FORMAT_PACKAGES=(clang-format)
KESTREL_SANITIZE_PACKAGES=(clang llvm)

kestrel_missing_packages() {
    local p status
    for p in "$@"; do
        status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)
        [ "$status" = "install ok installed" ] || echo "$p"
    done
}

# kestrel_install [PACKAGE...]: installs those of the given packages (by default the build's
# own) that are missing.
kestrel_install() {
    [ $# -gt 0 ] || set -- "${KESTREL_PACKAGES[@]}"
    local missing
    missing=$(kestrel_missing_packages "$@")
    [ -z "$missing" ] && return 0
    echo "kestrel: installing missing packages:" $missing
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || kestrel_die "need root (or sudo) to install:" $missing
        sudo=sudo
    fi
    $sudo apt-get update -q || kestrel_die "apt-get update failed; cannot install:" $missing
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q $missing ||
        kestrel_die "apt-get install failed for:" $missing
    missing=$(kestrel_missing_packages "$@")
    [ -z "$missing" ] || kestrel_die "still missing after install:" $missing
}

kestrel_build() {
    local werror=OFF
    [ -n "${CI:-}" ] && werror=ON
    cmake -S "$KESTREL_ROOT" -B "$KESTREL_BUILD" -DKESTREL_WERROR=$werror ||
        kestrel_die "CMake configuration failed"
    cmake --build "$KESTREL_BUILD" --parallel "$(nproc)" || kestrel_die "build failed"
}
