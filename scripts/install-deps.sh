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
#                            time for the memory benchmark, an sshd for
#                            the test of runs spread over machines, and for
#                            reading searchable PDFs back Ghostscript,
#                            fontTools, node and npm where missing, and
#                            pdf.js (pdfjs-dist, from the npm registry,
#                            into build/pdfjs) where node is 20.19 or later;
#                            msmtp and aiosmtpd for mail
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
    packages="$packages ghostscript python3-fonttools"
    # Mail of received faxes goes through a real sendmail (msmtp) to an SMTP
    # server the tests start (aiosmtpd).
    packages="$packages msmtp python3-aiosmtpd"
    # node and npm may come from elsewhere than Debian (NodeSource's nodejs
    # brings its own npm): only what no program answers for.
    command -v node > /dev/null || packages="$packages nodejs"
    command -v npm > /dev/null || packages="$packages npm"
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

run_as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    # An install cut off half-way leaves dpkg refusing every later one until the
    # packages it left are configured; finish that first.
    if [ -n "$(dpkg --audit 2>/dev/null)" ]; then
        DEBIAN_FRONTEND=noninteractive run_as_root dpkg --configure -a
    fi
    run_as_root apt-get update -q
    DEBIAN_FRONTEND=noninteractive run_as_root apt-get install -y -q --no-install-recommends $missing
fi

# pdf.js for the tests and benchmarks that read PDFs as Firefox does. Its
# 5.x needs node 20.19 or later (Debian 12's is 18): older, it is left out
# and what uses it says so. A failed download leaves it out the same way.
if [ "${1:-}" = "--test" ]; then
    pdfjs_version=5.6.205
    pdfjs_prefix="$(cd "$(dirname "$0")/.." && pwd)/build/pdfjs"
    installed="$pdfjs_prefix/node_modules/pdfjs-dist/package.json"
    if node -e 'const [major, minor] = process.versions.node.split(".").map(Number);
                process.exit(major > 20 || (major === 20 && minor >= 19) ? 0 : 1)' 2>/dev/null &&
        ! grep -q "\"version\": \"$pdfjs_version\"" "$installed" 2>/dev/null; then
        echo "Installing pdfjs-dist $pdfjs_version into $pdfjs_prefix"
        mkdir -p "$pdfjs_prefix"
        npm install --prefix "$pdfjs_prefix" --no-audit --no-fund --loglevel=error "pdfjs-dist@$pdfjs_version" ||
            echo "pdfjs-dist could not be installed: what reads PDFs with pdf.js will say it is missing" >&2
    fi
fi
