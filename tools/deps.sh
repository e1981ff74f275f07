# Sourced by ./run and ./test: installs what the build needs on Debian 12.
CORVANE_PACKAGES="g++ cmake ninja-build pkg-config libxml2-dev libsystemd-dev libgtest-dev googletest libbenchmark-dev zlib1g-dev libpng-dev iproute2 util-linux python3 clang libclang-rt-dev v4l-utils gpsd python3-gps python3-crcmod"

corvane_missing_packages() {
    local missing="" p
    for p in $CORVANE_PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    echo "$missing"
}

corvane_install_deps() {
    local missing
    missing=$(corvane_missing_packages)
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" != 0 ]; then
        echo "Missing packages:$missing"
        echo "Run as root: apt-get update && apt-get install -y$missing"
        exit 1
    fi
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq $missing >/dev/null || { echo "apt-get failed"; exit 1; }
}

# Sourced by .ci/kmod: kbuild of tarn_amp against Debian's kernel headers for
# this machine, and the board's cross build (the armhf architecture for the
# armmp headers, fetched by kmod/kbuild.sh; qemu-arm runs their modpost).
CORVANE_KMOD_PACKAGES="make linux-headers-amd64 gcc-arm-linux-gnueabihf binutils-arm-linux-gnueabihf qemu-user"

corvane_install_kmod_deps() {
    local missing="" p need_arch=0
    for p in $CORVANE_KMOD_PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    dpkg --print-foreign-architectures | grep -qx armhf || need_arch=1
    [ -z "$missing" ] && [ "$need_arch" = 0 ] && return 0
    if [ "$(id -u)" != 0 ]; then
        echo "Missing for the kernel module build:$missing$([ "$need_arch" = 1 ] && echo ' (and the armhf architecture)')"
        echo "Run as root: dpkg --add-architecture armhf && apt-get update && apt-get install -y --no-install-recommends$missing"
        exit 1
    fi
    echo "Installing for the kernel module build:$missing"
    export DEBIAN_FRONTEND=noninteractive
    [ "$need_arch" = 0 ] || dpkg --add-architecture armhf
    apt-get update -qq && { [ -z "$missing" ] || apt-get install -y -qq --no-install-recommends $missing >/dev/null; } ||
        { echo "apt-get failed"; exit 1; }
}
