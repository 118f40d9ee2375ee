#!/usr/bin/env python3
"""Time and peak memory of pliftcmd on the largest pages it converts and on
pages it refuses as too large, each one page of a small Group 4 TIFF file:

  a3-600dpi      7016 x 9921 at 600 dpi, the largest real fax page
  largest        10000 x 10000, exactly the limit (100 million pixels)
  largest-low    10000 x 5000 at 200 x 100 dpi: rows doubled, at the limit
  past-limit     10000 x 10001, one row over: refused
  32000-square   32000 x 32000 declared in a 4 KB file: refused

Each is converted --runs times with Huffman optimisation on (the default,
and the costlier case); the script prints the median wall time and the
largest peak resident size (GNU time's %M), and exits 1 when a converted
page passes 256 MiB or a refused one takes a second or more.

Usage: bench/page_limits.py [--pliftcmd PATH] [--runs N]
"""

import argparse
import os
import statistics
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MIB = 1024 * 1024


def blank_group4_tiff(width, rows, x_dpi, y_dpi):
    """A little-endian TIFF of one blank Group 4 page: a V0 bit per row, EOFB."""
    bits = "1" * rows + "000000000001" * 2
    bits += "0" * (-len(bits) % 8)
    strip = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
    strip_at = 8
    rationals_at = strip_at + len(strip) + (len(strip) & 1)
    directory_at = rationals_at + 16
    tags = [(256, 4, width), (257, 4, rows), (258, 3, 1), (259, 3, 4), (262, 3, 0), (273, 4, strip_at),
            (277, 3, 1), (278, 4, rows), (279, 4, len(strip)), (282, 5, rationals_at), (283, 5, rationals_at + 8),
            (296, 3, 2)]
    out = bytearray(b"II") + struct.pack("<HI", 42, directory_at) + strip
    out += b"\0" * (rationals_at - len(out))
    out += struct.pack("<IIII", x_dpi, 1, y_dpi, 1)
    out += struct.pack("<H", len(tags))
    for tag, kind, value in tags:
        out += struct.pack("<HHII", tag, kind, 1, value)
    out += struct.pack("<I", 0)
    return bytes(out)


PAGES = [
    ("a3-600dpi", 7016, 9921, 600, 600, True),
    ("largest", 10000, 10000, 200, 200, True),
    ("largest-low", 10000, 5000, 200, 100, True),
    ("past-limit", 10000, 10001, 200, 200, False),
    ("32000-square", 32000, 32000, 200, 200, False),
]


def measure(pliftcmd, source, destination):
    """Wall seconds, peak KiB and the report of one conversion."""
    result = subprocess.run(["/usr/bin/time", "-f", "%e %M", pliftcmd, "/f=" + source, "/sf=" + destination,
                             "/log="], capture_output=True, text=True, check=True)
    seconds, kib = result.stderr.strip().splitlines()[-1].split()
    return float(seconds), int(kib), result.stdout


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pliftcmd", default=os.path.join(ROOT, "build", "release", "pliftcmd"))
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    if not os.access("/usr/bin/time", os.X_OK):
        sys.exit("needs GNU time (/usr/bin/time, Debian's package time)")

    failed = False
    print(f"{'page':<14} {'size':>13} {'input':>8} {'result':<10} {'median s':>9} {'peak MiB':>9}")
    with tempfile.TemporaryDirectory() as scratch:
        for name, width, rows, x_dpi, y_dpi, converts in PAGES:
            source = os.path.join(scratch, name + ".tif")
            with open(source, "wb") as file:
                file.write(blank_group4_tiff(width, rows, x_dpi, y_dpi))
            destination = os.path.join(scratch, name + ".jpg")
            runs = [measure(args.pliftcmd, source, destination) for _ in range(args.runs)]
            seconds = statistics.median(run[0] for run in runs)
            peak = max(run[1] for run in runs) * 1024 / MIB
            report = runs[-1][2]
            converted = "Success !" in report
            refused = "page too large" in report
            outcome = "converted" if converted else "refused" if refused else "FAILED"
            print(f"{name:<14} {width:>6} x {rows:<6} {os.path.getsize(source):>7}B {outcome:<10} "
                  f"{seconds:>9.2f} {peak:>9.1f}")
            if converts != converted or (not converts and not refused):
                print(f"  unexpected report: {report.strip()}")
                failed = True
            if peak > 256:
                print("  peak memory above 256 MiB")
                failed = True
            if not converts and seconds >= 1:
                print("  refused, but only after a second or more")
                failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
