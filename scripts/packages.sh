# shellcheck shell=bash disable=SC2034 # the package lists are its callers'
# Installs the Debian packages given as arguments when any is missing.
# Sourced by the run and test scripts; safe to run again.
require_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing Debian packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

# An npm package at a pinned version, its tarball checked against a pinned
# SHA-256 and unpacked into FOLDER/package, once; run by Debian's Node.js.
# The checksum vouches for the file, not the TLS chain: a proxy that
# inspects TLS brings a certificate of its own that a new machine lacks.
# Usage: require_npm_package NAME VERSION SHA256 FOLDER
require_npm_package() {
    local name=$1 version=$2 sha256=$3 folder=$4 tarball
    require_packages nodejs ca-certificates
    [ -e "$folder/package/package.json" ] && return 0
    # A Node.js from elsewhere brings its own npm, which Debian's would conflict with.
    command -v npm >/dev/null || require_packages npm
    rm -rf "$folder"
    mkdir -p "$folder"
    tarball=$(cd "$folder" && npm pack --silent --no-update-notifier --strict-ssl=false \
        "$name@$version")
    echo "$sha256  $folder/$tarball" | sha256sum -c --quiet
    tar -xzf "$folder/$tarball" -C "$folder"
}

# What building the program and its tests needs.
# Git gives the packages the commit's time; Python finishes the Debian package.
build_packages=(g++ cmake ninja-build qt6-base-dev libx11-dev fonts-liberation git python3)

# What the tests need on top: the real window on a session bus of
# its own and under a small window manager, the accessibility bus and a
# reader of it, the benchmarks (built so that they keep building), the
# sanitizer and fuzz builds, and the drawing of the Windows icon, to check
# the one kept in app/.
test_packages=(xvfb xdotool dbus-daemon at-spi2-core python3-pyatspi libxtst-dev
    openbox clang libclang-rt-dev llvm librsvg2-bin icoutils)

# What the Windows build and its tests under Wine need on top: the MinGW-w64
# cross compiler in its posix thread model, Debian's Qt host tools (moc, rcc,
# uic), Wine, an X display for it, the unpacker of the SDK's tarball, the
# makers of the installer and of the MSI and what finishes and reads an MSI
# (Python with libmsi's bindings writes its summary and the zip), the signing
# tools, a software token and the PKCS#11 tools to put a key on it, Python
# for the local time-stamping authority, and the reader of resources that
# checks the installer's version information.
windows_packages=(g++-mingw-w64-x86-64-posix qt6-base-dev-tools wine wine64 xvfb xdotool
    dbus-daemon xz-utils nsis wixl msitools osslsigncode openssl softhsm2 opensc
    libengine-pkcs11-openssl python3 python3-gi gir1.2-libmsi-1.0 icoutils)

# What building and checking the Debian package needs on top.
package_packages=(dpkg-dev file lintian desktop-file-utils xvfb xdotool dbus-daemon)
