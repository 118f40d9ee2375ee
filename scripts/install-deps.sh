#!/bin/sh
# Installs what building and testing Zoziv Pagelift needs on Debian 12 and is
# not there yet. Run as root (or with sudo available).
#   install-deps.sh          build tools and libraries (Qt 6 Widgets for the window,
#                            Tesseract with its English and orientation data)
#   install-deps.sh --test   also the tools the tests compare against (PDF
#                            readers among them: poppler, MuPDF, qpdf, and
#                            img2pdf and OCRmyPDF for the PDF and OCR
#                            benchmarks), an X
#                            server without a screen and a window manager
#                            (openbox) for the screenshots, libtiff-dev for
#                            the decoding benchmark, and
#                            groff and man to render the manual pages, GNU
#                            time for the memory benchmark, and an sshd for
#                            the test of runs spread over machines
#   install-deps.sh --package  what scripts/package.sh needs to make and check
#                            the Debian package (dpkg-shlibdeps, lintian)
#   install-deps.sh --fuzz   clang with libFuzzer, for scripts/fuzz.sh
set -eu

packages="cmake make g++ pkg-config libjpeg62-turbo-dev libpng-dev libjbig-dev qt6-base-dev fonts-dejavu-core"
# Text recognition: the library, and the English and page orientation data.
packages="$packages libtesseract-dev tesseract-ocr-eng tesseract-ocr-osd"
if [ "${1:-}" = "--test" ]; then
    packages="$packages googletest libgtest-dev libtiff-tools libtiff-dev netpbm imagemagick libjpeg-turbo-progs parallel sfftobmp jbigkit-bin poppler-utils qpdf mupdf-tools img2pdf ocrmypdf"
    packages="$packages xvfb xauth xdotool openbox groff-base man-db time openssh-server openssh-client"
fi
if [ "${1:-}" = "--fuzz" ]; then
    packages="$packages clang libclang-rt-dev"
fi
if [ "${1:-}" = "--package" ]; then
    packages="$packages dpkg-dev fakeroot file lintian groff-base man-db desktop-file-utils"
fi

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0

run_as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
echo "Installing:$missing"
# An install cut off half-way leaves dpkg refusing every later one until the
# packages it left are configured; finish that first.
if [ -n "$(dpkg --audit 2>/dev/null)" ]; then
    DEBIAN_FRONTEND=noninteractive run_as_root dpkg --configure -a
fi
run_as_root apt-get update -q
DEBIAN_FRONTEND=noninteractive run_as_root apt-get install -y -q --no-install-recommends $missing
