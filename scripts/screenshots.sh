#!/bin/sh
# Takes pictures of the real pagelift window under a virtual X server (Xvfb)
# with a window manager (openbox) and stores them in docs/: each tab at the
# window's starting size, and the Convert tab maximised with a fax selected
# and its pages beside the list, then with a fax of three pages and its
# thumbnails. The faxes lie six folders deep, as a fax server files them by
# date and line. On the way it checks what a user does first: convert them
# with Alt+G, see the window grow with its list and open the preview, then
# end with Esc, which leaves exit code 2 and a settings file with its three
# sections in order.
# Needs a release build and install-deps.sh --test (xvfb, openbox, xdotool,
# ImageMagick).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
program="$root/build/release/pagelift"
[ -x "$program" ] || ./scripts/build.sh release

work=$(mktemp -d)
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
mkdir -p "$work/config/pagelift" docs
deep="2025/03-March/week-11/Monday/line-2/received"
mkdir -p "$work/faxes/$deep"
cp samples/*.tif samples/*.g3 "$work/faxes/$deep/"
# The two-page letter and the memo as one fax of three pages.
tiffcp samples/letter-g3.tif samples/memo-g4.tif "$work/faxes/$deep/three-pages.tif"
# A scan already saved as JPEG, and a file that holds no fax.
printf 'a picture' > "$work/faxes/$deep/cover-scan.jpg"
printf 'no fax data in here at all' > "$work/faxes/$deep/notes.g3"
# Start-up values as a user would have left them: the faxes as the source,
# named relative to the folder the program starts in, subfolders included,
# JPEG names without the source's extension.
cat > "$work/config/pagelift/pagelift.ini" <<INI
[Main]
FaxDir=faxes
SaveDir=jpeg
BakDir=
[Options]
Subdir=1
KeepExt=0
INI

cat > "$work/session.sh" <<'SESSION'
set -eu
cd "$WORK"
openbox > "$WORK/openbox.out" 2>&1 &
wm=$!
sleep 1
"$PROGRAM" /log="$WORK/plflog.txt" > "$WORK/window.out" 2>&1 &
pid=$!
window=""
for _ in $(seq 50); do
    window=$(xdotool search --onlyvisible --name '^Zoziv Pagelift$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || { echo "the window did not open" >&2; kill "$pid" "$wm"; exit 1; }
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
xdotool key --window "$window" alt+g
for _ in $(seq 100); do
    grep -q -- '--------' "$WORK/plflog.txt" 2>/dev/null && break
    sleep 0.2
done
sleep 0.5

# The window manager puts the window into a frame of its own: the frame is
# the window's ancestor just below the root.
rootid=$(xwininfo -root | awk '/Window id/ {print $4}')
framed=$window
while :; do
    parent=$(xwininfo -tree -id "$framed" | awk '/Parent window id/ {print $4}')
    [ "$(printf '%d' "$parent")" = "$(printf '%d' "$rootid")" ] && break
    framed=$parent
done
client() { xwininfo -id "$window" | awk -v key="$1" '$0 ~ key {print $NF}'; }
frame() { xwininfo -id "$framed" | awk -v key="$1" '$0 ~ key {print $NF}'; }
shoot() { # name
    sleep 0.5
    x=$(frame 'Absolute upper-left X'); y=$(frame 'Absolute upper-left Y')
    w=$(frame 'Width'); h=$(frame 'Height')
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$DOCS/window-$1.png"
}
client Width > "$WORK/start-width"
# The tabs sit at the top left of the window, about 90 pixels apart.
tab=0
for name in convert options settings; do
    xdotool mousemove --window "$window" $((60 + 90 * tab)) 22 click 1
    shoot "$name"
    tab=$((tab + 1))
done
xdotool mousemove --window "$window" 60 22 click 1
# A double click on the title bar maximises the window (openbox's default).
x=$(client 'Absolute upper-left X'); y=$(client 'Absolute upper-left Y'); w=$(client 'Width')
xdotool mousemove $((x + w / 2)) $((y - 8)) click --repeat 2 --delay 80 1
for _ in $(seq 25); do
    [ "$(client Width)" -gt "$(cat "$WORK/start-width")" ] && break
    sleep 0.2
done
client Width > "$WORK/maximised-width"
# Sorted by a click on the first heading, the rows run call.g3,
# cover-scan.jpg, letter-g3.tif, ... three-pages.tif. The list's heading
# lies where the starting layout put it, 165 pixels down the client window.
xdotool mousemove --window "$window" 180 165 click 1
sleep 0.3
xdotool mousemove --window "$window" 180 182 click 1
xdotool key --window "$window" Home Down Down
shoot convert-maximised
xdotool key --window "$window" End
shoot preview-pages
# Esc ends the program at once, so the key's release may find the window
# gone already: xdotool's complaint about that is no failure.
xdotool key --window "$window" Escape 2>/dev/null || true
status=0
wait "$pid" || status=$?
echo "$status" > "$WORK/exit-code"
kill "$wm" 2>/dev/null || true
SESSION

PROGRAM="$program" WORK="$work" DOCS="$root/docs" XDG_CONFIG_HOME="$work/config" \
    xvfb-run -a -s "-screen 0 1280x800x24" sh "$work/session.sh"

fail() { echo "screenshots: $*" >&2; exit 1; }
[ "$(cat "$work/exit-code")" = 2 ] || fail "Esc ended the window with exit code $(cat "$work/exit-code"), not 2"
grep -q "Zoziv Pagelift in GUI mode : convert folder" "$work/plflog.txt" || fail "no log record of the run"
sections=$(grep '^\[' "$work/config/pagelift/pagelift.ini" | tr '\n' ' ')
[ "$sections" = "[Main] [Options] [Settings] " ] || fail "the settings file holds the sections $sections"
ls "$work/jpeg"/*.jpg > /dev/null || fail "no JPEG pages were written"
[ "$(cat "$work/maximised-width")" -gt "$(cat "$work/start-width")" ] || fail "the window did not maximise"
echo "Converted $(ls "$work/jpeg" | wc -l) JPEG pages; exit code 2; pictures in docs/:"
ls -l docs/window-*.png
