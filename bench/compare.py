#!/usr/bin/env python3
"""Converts the same fax pages three ways and prints, per page, the median
wall times as ratios and each one's peak memory:

  pliftcmd       the whole program: read, intermediate bitmap, JPEG file
  cjpeg          cjpeg -grayscale -quality 50 -optimize on a PGM of the page
                 (JPEG encoding alone: the floor we work against)
  ImageMagick    /usr/bin/convert page.tif -quality 50 out-%03d.jpg

Decoding alone, ours beside libtiff's in one process, is timed by
bench/decode-vs-libtiff.sh.

Usage: bench/compare.py [--runs N] [--plain FILE]... [--coded FILE]...
  --plain FILE  the pages of FILE made uncompressed with tiffcp -c none
  --coded FILE  the pages of FILE as they are coded (G3, G4)
Without files: ../shared/corpus/g4-multi.tiff both plain and coded (three
pages of 3307 x 4677, Group 4), and fax2d.tif coded (1728 x 1082, 2-D G3).
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
IMAGEMAGICK = "/usr/bin/convert"


def run_measured(command, cwd):
    """Runs a command once; returns (seconds, peak resident KiB)."""
    start = time.perf_counter()
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("failed: " + " ".join(command))
    return elapsed, usage.ru_maxrss


def measure(command, cwd, runs):
    times, peaks = [], []
    run_measured(command, cwd)  # warm the page cache
    for _ in range(runs):
        seconds, peak = run_measured(command, cwd)
        times.append(seconds)
        peaks.append(peak)
    return statistics.median(times), max(peaks)


def row_factor(page):
    """How many times the program repeats each row of the page: x / y
    resolution, at least 1, as the JPEG files show it."""
    info = subprocess.run(["tiffinfo", page], check=True, capture_output=True, text=True).stdout
    for line in info.splitlines():
        if "Resolution:" in line:
            values = line.split("Resolution:")[1].replace(",", " ").split()
            x, y = int(float(values[0])), int(float(values[1]))
            return max(x // y, 1) if y > 0 else 1
    return 1


def split_pages(source, work, plain):
    """One single-page TIFF per page of `source`, uncompressed when `plain`."""
    whole = os.path.join(work, "whole.tif")
    subprocess.run(["tiffcp"] + (["-c", "none"] if plain else []) + [source, whole], check=True)
    subprocess.run(["tiffsplit", whole, os.path.join(work, "page-")], check=True)
    pages = sorted(f for f in os.listdir(work) if f.startswith("page-") and f.endswith(".tif"))
    return [os.path.join(work, page) for page in pages]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--pliftcmd", default=os.path.join(ROOT, "build", "release", "pliftcmd"))
    parser.add_argument("--plain", action="append", default=[])
    parser.add_argument("--coded", action="append", default=[])
    args = parser.parse_args()
    for tool in ("tiffcp", "tiffsplit", "cjpeg"):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is missing: run scripts/install-deps.sh --test")
    if not os.path.exists(IMAGEMAGICK):
        sys.exit("ImageMagick is missing: run scripts/install-deps.sh --test")
    corpus = os.path.join(ROOT, "..", "shared", "corpus")
    if not args.plain and not args.coded:
        args.plain = [os.path.join(corpus, "g4-multi.tiff")]
        args.coded = [os.path.join(corpus, "g4-multi.tiff"), os.path.join(corpus, "fax2d.tif")]
    inputs = [(path, True) for path in args.plain] + [(path, False) for path in args.coded]

    print(f"{'page':<34} {'pliftcmd':>9} {'cjpeg':>9} {'magick':>9} {'plift/cjpeg':>12} "
          f"{'magick/plift':>13} {'peak MiB plift/cjpeg/magick':>28}")
    with tempfile.TemporaryDirectory() as work:
        for number, (source, plain) in enumerate(inputs):
            folder = os.path.join(work, str(number))
            os.mkdir(folder)
            for page in split_pages(source, folder, plain):
                name = os.path.splitext(os.path.basename(page))[0]
                # cjpeg gets the image the program encodes: rows repeated for
                # standard-resolution pages.
                pgm = page + ".pgm"
                factor = row_factor(page)
                subprocess.run([IMAGEMAGICK, page, "-sample", f"100%x{100 * factor}%", "-colorspace", "Gray",
                                "-depth", "8", pgm], check=True)
                plift = measure([args.pliftcmd, "/q", "/log=", "/f=" + page, "/sf=" + page + ".plift.jpg"],
                                folder, args.runs)
                cjpeg = measure(["cjpeg", "-grayscale", "-quality", "50", "-optimize", "-outfile",
                                 page + ".cjpeg.jpg", pgm], folder, args.runs)
                magick = measure([IMAGEMAGICK, page, "-quality", "50", page + ".magick-%03d.jpg"],
                                 folder, args.runs)
                label = f"{os.path.basename(source)} {'plain' if plain else 'coded'} {name[5:]}"
                print(f"{label:<34} {plift[0] * 1000:8.1f}ms {cjpeg[0] * 1000:8.1f}ms {magick[0] * 1000:8.1f}ms "
                      f"{plift[0] / cjpeg[0]:11.2f}x {magick[0] / plift[0]:12.2f}x "
                      f"{plift[1] / 1024:14.1f} /{cjpeg[1] / 1024:5.1f} /{magick[1] / 1024:5.1f}")


if __name__ == "__main__":
    main()
