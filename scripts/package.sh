#!/bin/sh
# Builds the two Debian packages of Zoziv Pagelift into out/ and checks them
# with lintian; the lintian runs fail the script on any error.
#   package.sh           install what is missing, build (release, hardened as
#                        Debian builds), make out/pagelift_<version>_<arch>.deb
#                        (the programs) and out/pagelift-ocr_<version>_<arch>.deb
#                        (the text recognition module)
#   package.sh --check   then also, as root: install pagelift alone with
#                        apt-get and run the installed programs; see /ocr
#                        refused without the module; install pagelift-ocr
#                        with apt-get (Tesseract and its recommended data
#                        come with it) and see a page's words found; remove
#                        both and whatever their installs brought in, and
#                        check that the installed packages and /usr are
#                        exactly as before. Stops when either package is
#                        installed already; a failed check removes what it
#                        installed.
set -eu
cd "$(dirname "$0")/.."
root="$(pwd)"

check=no
case "${1:-}" in
    "") ;;
    --check) check=yes ;;
    *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

fail() { echo "check failed: $*" >&2; exit 1; }

./scripts/install-deps.sh --package

# The compiler and linker flags Debian builds its packages with (hardening
# included); the preset's own Release flags follow them. The OCR module is a
# shared object, linked with the module flags: lintian checks it too.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake --preset package -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_C_FLAGS="$cflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" \
    -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build --preset package -j 2

rm -rf build/package/packages
(cd build/package && cpack -G DEB >/dev/null)
mkdir -p out

# The one package of that name CPack made, copied into out/.
take_package() {
    set -- build/package/packages/"$1"_*.deb
    [ -f "$1" ] && [ $# -eq 1 ] || fail "CPack made no single package $(basename "$1")"
    cp "$1" out/
    echo "out/$(basename "$1")"
}
base_deb="$(take_package pagelift)"
[ -n "$(ls build/package/packages/pagelift-ocr_*.deb 2>/dev/null)" ] ||
    fail "no pagelift-ocr package was made: Tesseract (libtesseract-dev) was not found when configuring"
ocr_deb="$(take_package pagelift-ocr)"
version="$(dpkg-deb -f "$base_deb" Version)"

for deb in "$base_deb" "$ocr_deb"; do
    echo "Package: $deb"
    dpkg-deb --field "$deb"
done
# Text recognition is the OCR package's alone: the programs start without
# Tesseract, and the module never runs beside programs of another version.
dpkg-deb -f "$base_deb" Depends | grep -Eq 'tesseract|gomp|lept' &&
    fail "$base_deb depends on the OCR libraries"
dpkg-deb -f "$ocr_deb" Depends | grep -Fq "pagelift (= $version)" ||
    fail "$ocr_deb does not depend on pagelift (= $version)"
dpkg-deb -f "$ocr_deb" Depends | grep -q 'libtesseract5' ||
    fail "$ocr_deb does not depend on libtesseract5"

for deb in "$base_deb" "$ocr_deb"; do
    echo "lintian $deb:"
    lintian --fail-on error --display-info --pedantic "$deb"
    echo "lintian $deb: no errors"
done

[ "$check" = yes ] || exit 0

# --- The install, run and remove cycle ------------------------------------
[ "$(id -u)" -eq 0 ] || fail "installing needs root"

# Whether dpkg holds the files of a package (a removed one keeps at most its
# configuration files).
package_present() {
    case "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" in
        "" | not-installed | config-files) return 1 ;;
        *) return 0 ;;
    esac
}
installed_packages() {
    dpkg-query -W -f='${db:Status-Status} ${binary:Package}\n' | awk '$1 == "installed" { print $2 }' | sort
}
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -y -q "$@"; }

for package in pagelift pagelift-ocr; do
    package_present "$package" &&
        fail "$package is installed already; remove it first (apt-get remove pagelift-ocr pagelift)"
done

scratch="$(mktemp -d)"
installed_packages > "$scratch/packages-before"
find /usr -xdev | sort > "$scratch/usr-before"

# Everything installed since the check began: our two packages and what apt
# brought in for them. A bare autoremove would also take packages that were
# removable before the check, so exactly these go, nothing else.
# Our own two count even when an install stopped half-way.
packages_added() {
    {
        installed_packages | comm -13 "$scratch/packages-before" -
        for package in pagelift-ocr pagelift; do
            if package_present "$package"; then echo "$package"; fi
        done
    } | sort -u | tr '\n' ' '
}
remove_added_packages() {
    added="$(packages_added)"
    [ -n "$added" ] || return 0
    echo "apt-get remove -y $added"
    # shellcheck disable=SC2086 # one word a package
    apt_get remove $added
}
# A check that fails leaves nothing it installed behind either.
clean_up() {
    exit_status=$?
    if [ "$exit_status" -ne 0 ]; then
        remove_added_packages >&2 || echo "could not remove: $(packages_added)" >&2
    fi
    rm -rf "$scratch"
    exit "$exit_status"
}
trap clean_up EXIT
trap 'exit 130' INT TERM

# pliftcmd run as the check's user: its own home (where its results log
# goes), and the OCR module only where the packages put it.
pliftcmd_run() {
    (cd "$scratch" && HOME="$scratch/home" XDG_STATE_HOME= env -u PAGELIFT_OCR_MODULE pliftcmd "$@")
}

# --- 1. The base package alone --------------------------------------------
echo "apt-get install ./$base_deb"
apt_get install "./$base_deb"
package_present pagelift-ocr && fail "installing pagelift brought pagelift-ocr in too"

shown="$(/usr/bin/pliftcmd --version)"
echo "$shown"
[ "$shown" = "pliftcmd (Zoziv Pagelift) $version" ] || fail "pliftcmd --version says \"$shown\""
[ "$(command -v pliftcmd)" = /usr/bin/pliftcmd ] || fail "pliftcmd is not the one on PATH"

# A conversion with the installed program; its report must say the file was
# converted, and its results log must hold the run.
mkdir -p "$scratch/home"
report="$(pliftcmd_run "/f=$root/samples/memo-g4.tif" "/sf=$scratch/jpeg/memo.jpg")" ||
    fail "the installed pliftcmd could not convert samples/memo-g4.tif"
echo "$report"
echo "$report" | grep -q "Success !" || fail "the conversion reported no success"
jpegs="$(find "$scratch/jpeg" -name 'memo*.jpg' | sort)"
[ -n "$jpegs" ] || fail "no JPEG file was written"
for jpeg in $jpegs; do
    file -b "$jpeg" | grep -q "^JPEG image data" || fail "$jpeg is no JPEG image"
    echo "$(basename "$jpeg"): $(file -b "$jpeg")"
done
log="$scratch/home/.local/state/pagelift/log/plflog.txt"
grep -q "memo-g4.tif" "$log" || fail "the results log $log holds no record of the run"
echo "results log: $log"

if dpkg -L pagelift | grep -x /usr/bin/pagelift >/dev/null; then
    shown="$(/usr/bin/pagelift --version)"
    echo "$shown"
    [ "$shown" = "pagelift (Zoziv Pagelift) $version" ] || fail "pagelift --version says \"$shown\""
    # The window opens with the libraries and Qt plugins the package depends
    # on, and a SIGTERM ends it in order (status 128 + 15, settings stored).
    status=0
    mkdir -m 700 "$scratch/runtime"
    (cd "$scratch" && HOME="$scratch/home" XDG_CONFIG_HOME= XDG_RUNTIME_DIR="$scratch/runtime" \
        QT_QPA_PLATFORM=offscreen timeout --preserve-status 10 pagelift) || status=$?
    [ "$status" -eq 143 ] || fail "the window ended with status $status, not 143 for SIGTERM"
    [ -f "$scratch/home/.config/pagelift/pagelift.ini" ] || fail "the window stored no settings"
    echo "pagelift window: opened offscreen, ended by SIGTERM with status 143, settings stored"
    desktop-file-validate /usr/share/applications/pagelift.desktop || fail "the desktop entry is not valid"
    [ -s /usr/share/doc/pagelift/pagelift.html ] || fail "the help page is missing"
else
    echo "pagelift window: not in this package (built without Qt 6)"
fi
# The watch service: its user exists, and systemd takes its unit as it is.
unit=/usr/lib/systemd/system/pagelift-watch@.service
[ -f "$unit" ] || fail "the watch service's unit $unit is missing"
getent passwd pagelift >/dev/null || fail "the package made no user pagelift for the watch service"
[ -d /etc/pagelift/watch ] || fail "the package made no folder /etc/pagelift/watch"
if command -v systemd-analyze >/dev/null; then
    systemd-analyze verify "$unit" || fail "systemd-analyze verify finds fault with $unit"
    echo "systemd-analyze verify $unit: no faults"
    # The drop-ins that let the service send mail: systemd takes every key.
    for drop_in in mail.conf sendmail-setid.conf; do
        drop_in_path=/usr/share/doc/pagelift/examples/$drop_in
        [ -f "$drop_in_path" ] || fail "the mail drop-in $drop_in_path is missing"
        units="$(mktemp -d)"
        mkdir "$units/pagelift-watch@.service.d"
        cp "$drop_in_path" "$units/pagelift-watch@.service.d/"
        said="$(SYSTEMD_UNIT_PATH="$units:/usr/lib/systemd/system:" systemd-analyze verify pagelift-watch@check.service 2>&1)" ||
            fail "systemd-analyze verify finds fault with the unit and $drop_in_path: $said"
        if printf '%s\n' "$said" | grep -q "$drop_in"; then fail "systemd-analyze: $said"; fi
        rm -r "$units"
        echo "systemd-analyze verify with $drop_in_path: no faults"
    done
else
    echo "systemd-analyze is not installed: the unit was not verified"
fi

for page in $(dpkg -L pagelift | grep '^/usr/share/man/man1/'); do
    name="$(basename "$page" .1.gz)"
    [ "$(man -w "$name")" = "$page" ] || fail "man does not find $page"
    man "$name" 2>&1 >/dev/null | grep . && fail "man $name gives warnings"
    echo "man $name: $(man "$name" 2>/dev/null | wc -l) lines"
done

# --- 2. /ocr without the module: refused, nothing written -----------------
status=0
pliftcmd_run /ocr "/f=$root/samples/memo-g4.tif" "/sf=$scratch/refused/memo.pdf" \
    >"$scratch/refused.out" 2>"$scratch/refused.err" || status=$?
cat "$scratch/refused.err"
[ "$status" -eq 2 ] || fail "pliftcmd /ocr without the module ended with status $status, not 2"
grep -q "pagelift-ocr" "$scratch/refused.err" || fail "pliftcmd /ocr without the module does not name pagelift-ocr"
[ -z "$(find "$scratch/refused" -type f 2>/dev/null)" ] || fail "pliftcmd /ocr without the module wrote files"
echo "pliftcmd /ocr without the module: refused with status 2, nothing written"

# --- 3. The OCR package: a page's words found -----------------------------
echo "apt-get install ./$ocr_deb"
apt_get -o APT::Install-Recommends=true install "./$ocr_deb"
for package in libtesseract5 tesseract-ocr-eng tesseract-ocr-osd; do
    package_present "$package" || fail "installing pagelift-ocr did not bring $package"
done
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
dpkg -L pagelift-ocr | grep -qx "/usr/lib/$multiarch/pagelift/pagelift-ocr.so" ||
    fail "pagelift-ocr holds no /usr/lib/$multiarch/pagelift/pagelift-ocr.so"

# The memo's heading reads MEMO: in the text file beside its JPEG page, and
# in the text layer of its PDF.
report="$(pliftcmd_run /ocr "/f=$root/samples/memo-g4.tif" "/sf=$scratch/ocr-jpeg/memo.jpg")" ||
    fail "pliftcmd /ocr failed with pagelift-ocr installed (its message above)"
echo "$report"
text="$scratch/ocr-jpeg/memo.txt"
[ -f "$text" ] || fail "pliftcmd /ocr wrote no $text"
grep -qw MEMO "$text" || fail "the recognised text holds no MEMO: $(head -c 300 "$text")"
echo "pliftcmd /ocr, JPEG: $(wc -w < "$text") words recognised, MEMO among them"
report="$(pliftcmd_run /ocr "/f=$root/samples/memo-g4.tif" "/sf=$scratch/ocr-pdf/memo.pdf")" ||
    fail "pliftcmd /ocr to PDF failed with pagelift-ocr installed (its message above)"
echo "$report"
[ -f "$scratch/ocr-pdf/memo.pdf" ] || fail "pliftcmd /ocr wrote no PDF"
if command -v pdftotext >/dev/null; then
    pdftotext "$scratch/ocr-pdf/memo.pdf" - | grep -qw MEMO || fail "pdftotext finds no MEMO in the PDF"
    echo "pliftcmd /ocr, PDF: pdftotext finds MEMO"
else
    echo "pdftotext (poppler-utils) is not installed: the PDF's text was not read back"
fi

# --- 4. Removing both, and what their installs brought in -----------------
echo "apt-get remove -y pagelift-ocr pagelift"
apt_get remove pagelift-ocr pagelift
for package in pagelift-ocr pagelift; do
    package_present "$package" && fail "$package is still installed"
done
remove_added_packages
installed_packages > "$scratch/packages-after"
if ! diff "$scratch/packages-before" "$scratch/packages-after"; then
    fail "the installed packages differ from before the check (lines above)"
fi
find /usr -xdev | sort > "$scratch/usr-after"
if ! diff "$scratch/usr-before" "$scratch/usr-after"; then
    fail "/usr differs from before the installation (lines above)"
fi
echo "check passed: installed, ran, recognised, removed; the installed packages and /usr are exactly as before"
