#!/bin/sh
# Builds the Debian package of Zoziv Pagelift into out/ and checks it with
# lintian; the lintian run fails the script on any error.
#   package.sh           install what is missing, build (release, hardened as
#                        Debian builds), make out/pagelift_<version>_<arch>.deb
#   package.sh --check   then also install it with dpkg -i, run pliftcmd
#                        --version and convert samples/memo-g4.tif with the
#                        installed program, remove it with apt-get remove and
#                        check that /usr holds exactly what it held before.
#                        Needs root; stops when pagelift is installed already.
set -eu
cd "$(dirname "$0")/.."
root="$(pwd)"

check=no
case "${1:-}" in
    "") ;;
    --check) check=yes ;;
    *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

./scripts/install-deps.sh --package

# The compiler and linker flags Debian builds its packages with (hardening
# included); the preset's own Release flags follow them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake --preset package -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_C_FLAGS="$cflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build --preset package -j 2

rm -rf build/package/packages
(cd build/package && cpack -G DEB >/dev/null)
mkdir -p out
deb_built="$(ls build/package/packages/*.deb)"
deb="out/$(basename "$deb_built")"
cp "$deb_built" "$deb"
echo "Package: $deb"
dpkg-deb --field "$deb"

echo "lintian:"
lintian --fail-on error --display-info --pedantic "$deb"
echo "lintian: no errors"

[ "$check" = yes ] || exit 0

# --- The install, run and remove cycle ------------------------------------
fail() { echo "check failed: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "installing needs root"
if dpkg-query -W -f='${Status}' pagelift 2>/dev/null | grep -q "installed"; then
    fail "pagelift is installed already; remove it first (apt-get remove pagelift)"
fi

scratch="$(mktemp -d)"
installed=no
# A check that fails leaves no package behind either.
clean_up() {
    if [ "$installed" = yes ]; then
        DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq pagelift >/dev/null || true
    fi
    rm -rf "$scratch"
}
trap clean_up EXIT
find /usr -xdev | sort > "$scratch/usr-before"

echo "dpkg -i $deb"
installed=yes
dpkg -i "$deb"

version="$(dpkg-deb -f "$deb" Version)"
shown="$(/usr/bin/pliftcmd --version)"
echo "$shown"
[ "$shown" = "pliftcmd (Zoziv Pagelift) $version" ] || fail "pliftcmd --version says \"$shown\""
[ "$(command -v pliftcmd)" = /usr/bin/pliftcmd ] || fail "pliftcmd is not the one on PATH"

# A conversion with the installed program, with a home of its own so that its
# results log can be found; its report must say the file was converted.
mkdir -p "$scratch/home"
report="$(cd "$scratch" && HOME="$scratch/home" XDG_STATE_HOME= pliftcmd \
    "/f=$root/samples/memo-g4.tif" "/sf=$scratch/jpeg/memo.jpg")"
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
fi
# The watch service: its user exists, and systemd takes its unit as it is.
unit=/usr/lib/systemd/system/pagelift-watch@.service
[ -f "$unit" ] || fail "the watch service's unit $unit is missing"
getent passwd pagelift >/dev/null || fail "the package made no user pagelift for the watch service"
[ -d /etc/pagelift/watch ] || fail "the package made no folder /etc/pagelift/watch"
if command -v systemd-analyze >/dev/null; then
    systemd-analyze verify "$unit" || fail "systemd-analyze verify finds fault with $unit"
    echo "systemd-analyze verify $unit: no faults"
else
    echo "systemd-analyze is not installed: the unit was not verified"
fi

for page in $(dpkg -L pagelift | grep '^/usr/share/man/man1/'); do
    name="$(basename "$page" .1.gz)"
    [ "$(man -w "$name")" = "$page" ] || fail "man does not find $page"
    man "$name" 2>&1 >/dev/null | grep . && fail "man $name gives warnings"
    echo "man $name: $(man "$name" 2>/dev/null | wc -l) lines"
done

echo "apt-get remove -y pagelift"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -q pagelift
installed=no
if dpkg-query -W -f='${Status}' pagelift 2>/dev/null | grep -q "installed"; then
    fail "pagelift is still installed"
fi
find /usr -xdev | sort > "$scratch/usr-after"
if ! diff "$scratch/usr-before" "$scratch/usr-after"; then
    fail "/usr differs from before the installation (lines above)"
fi
echo "check passed: installed, ran, removed; /usr holds exactly what it held before"
