#!/usr/bin/env bash
# Installs the Debian packages that building and running Paperdart ("run") or building and testing
# it ("test") needs. Only what is missing is installed; sudo is used for that alone when not root.
set -euo pipefail

build_packages=(cmake g++ ninja-build pkg-config qt6-base-dev libsane-dev libturbojpeg0-dev)
# The menu icon is drawn as SVG; its PNG sizes are rendered from it at build time.
build_packages+=(librsvg2-bin)
run_packages=(libqt6gui6 qt6-qpa-plugins fonts-dejavu-core libsane1 sane-airscan sane-utils xdg-utils)
# What the lookup of a file's associated program reads: content types (file) and /etc/mime.types.
run_packages+=(file media-types)
test_packages=(googletest libgtest-dev libgmock-dev python3 qpdf poppler-utils xvfb xauth)
# The fake network scanner of the end-to-end scanner tests renders its pages with Pillow.
test_packages+=(python3-pil)
# The installation test validates the desktop entry.
test_packages+=(desktop-file-utils)
# The test command checks every C++ file against .clang-format.
test_packages+=(clang-format)
# Only the benchmarks in bench/ need these: mpack as a reference program, ImageMagick to draw page sets.
bench_packages=(mpack imagemagick)
# Only the opt-in check with real mail programs (tests/mail/real_mail_programs.sh) needs these.
mailprogram_packages=(thunderbird evolution xvfb xauth dbus-daemon x11-utils libglib2.0-bin)

case "${1:-}" in
run) wanted=("${build_packages[@]}" "${run_packages[@]}") ;;
test) wanted=("${build_packages[@]}" "${run_packages[@]}" "${test_packages[@]}") ;;
bench) wanted=("${build_packages[@]}" "${run_packages[@]}" "${bench_packages[@]}") ;;
mailprograms) wanted=("${build_packages[@]}" "${run_packages[@]}" "${test_packages[@]}" "${mailprogram_packages[@]}") ;;
*)
    echo "usage: $0 run|test|bench|mailprograms" >&2
    exit 2
    ;;
esac

missing=()
for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "These Debian packages are missing and sudo is not available: ${missing[*]}" >&2
        echo "Install them as root: apt-get install ${missing[*]}" >&2
        exit 1
    fi
    sudo=(sudo)
fi
echo "Installing Debian packages: ${missing[*]}"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
