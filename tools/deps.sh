# Sourced by ./run and ./test: installs what the build needs on Debian 12.
CORVANE_PACKAGES="g++ cmake ninja-build pkg-config libxml2-dev libsystemd-dev libgtest-dev googletest libbenchmark-dev zlib1g-dev iproute2 util-linux python3"

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
