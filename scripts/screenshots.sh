#!/bin/sh
# Takes a picture of each tab of the real pagelift window under a virtual X
# server (Xvfb) and stores them in docs/. On the way it checks what a user
# does first: convert the sample faxes with Alt+G, then end with Esc, which
# leaves exit code 2 and a settings file with its three sections in order.
# Needs a release build and install-deps.sh --test (xvfb, xdotool, ImageMagick).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
program="$root/build/release/pagelift"
[ -x "$program" ] || ./scripts/build.sh release

work=$(mktemp -d)
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
mkdir -p "$work/config/pagelift" docs
cp -r samples "$work/faxes"
# Start-up values as a user would have left them: the sample faxes as the
# source, named relative to the folder the program starts in.
cat > "$work/config/pagelift/pagelift.ini" <<INI
[Main]
FaxDir=faxes
SaveDir=jpeg
BakDir=
INI

cat > "$work/session.sh" <<'SESSION'
set -eu
cd "$WORK"
"$PROGRAM" /log="$WORK/plflog.txt" > "$WORK/window.out" 2>&1 &
pid=$!
window=""
for _ in $(seq 50); do
    window=$(xdotool search --onlyvisible --name '^Zoziv Pagelift$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.2
done
[ -n "$window" ] || { echo "the window did not open" >&2; kill "$pid"; exit 1; }
xdotool windowfocus --sync "$window"
xdotool key --window "$window" alt+g
for _ in $(seq 100); do
    grep -q 'Total\|--------' "$WORK/plflog.txt" 2>/dev/null && break
    sleep 0.2
done
sleep 0.5
xwininfo -id "$window" > "$WORK/geometry.txt"
x=$(awk '/Absolute upper-left X/ {print $4}' "$WORK/geometry.txt")
y=$(awk '/Absolute upper-left Y/ {print $4}' "$WORK/geometry.txt")
w=$(awk '/Width/ {print $2}' "$WORK/geometry.txt")
h=$(awk '/Height/ {print $2}' "$WORK/geometry.txt")
# The tabs sit at the top left of the window, about 90 pixels apart.
tab=0
for name in convert options settings; do
    xdotool mousemove --window "$window" $((60 + 90 * tab)) 22 click 1
    sleep 0.5
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$DOCS/window-$name.png"
    tab=$((tab + 1))
done
# Esc ends the program at once, so the key's release may find the window
# gone already: xdotool's complaint about that is no failure.
xdotool key --window "$window" Escape 2>/dev/null || true
status=0
wait "$pid" || status=$?
echo "$status" > "$WORK/exit-code"
SESSION

PROGRAM="$program" WORK="$work" DOCS="$root/docs" XDG_CONFIG_HOME="$work/config" \
    xvfb-run -a -s "-screen 0 1024x600x24" sh "$work/session.sh"

fail() { echo "screenshots: $*" >&2; exit 1; }
[ "$(cat "$work/exit-code")" = 2 ] || fail "Esc ended the window with exit code $(cat "$work/exit-code"), not 2"
grep -q "Zoziv Pagelift in GUI mode : convert folder" "$work/plflog.txt" || fail "no log record of the run"
sections=$(grep '^\[' "$work/config/pagelift/pagelift.ini" | tr '\n' ' ')
[ "$sections" = "[Main] [Options] [Settings] " ] || fail "the settings file holds the sections $sections"
ls "$work/jpeg"/*.jpg > /dev/null || fail "no JPEG pages were written"
echo "Converted $(ls "$work/jpeg" | wc -l) JPEG pages; exit code 2; pictures in docs/:"
ls -l docs/window-*.png
