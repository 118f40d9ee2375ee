#!/usr/bin/env python3
"""Times pliftcmd on a raw MH fax stream against pliftcmd on a TIFF file that
holds the same pages, and prints the medians and their ratio.

The pages are lines of text drawn by pbmtext, enlarged and pasted on white
1728 x 1144 pages (as scripts/make-samples.sh draws its samples). The raw
stream is their pbmtog3 outputs one after another; the TIFF file holds the
same pages coded MH (tiffcp -c g3) at 204 x 98 dpi, so both conversions write
the same twenty JPEG pages with their rows doubled. The raw conversion also
has to find the stream's bit order, coding and width, decode it into its
working image and cut its pages; the target is at most 1.3 times the TIFF
conversion's time.

Usage: bench/raw_vs_tiff.py [--runs N] [--pages N] [--pliftcmd PATH]
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
IMAGEMAGICK = "/usr/bin/convert"  # not a stand-in that may come first on PATH
TARGET = 1.3


def render_page(number, path):
    """One 1728 x 1144 page of text (netpbm)."""
    lines = [f"RAW STREAM BENCHMARK PAGE {number}", ""]
    lines += [f"Line {i:02d}: the quick brown fox sends a fax to page {number}." for i in range(1, 19)]
    text = subprocess.run(["pbmtext", "-builtin", "fixed"], input=("\n".join(lines) + "\n").encode(),
                          capture_output=True, check=True).stdout
    enlarged = subprocess.run(["pnmenlarge", "2"], input=text, capture_output=True, check=True).stdout
    padded = subprocess.run(["pnmpad", "-white", "-left", "80", "-top", "120"], input=enlarged,
                            capture_output=True, check=True).stdout
    padded = subprocess.run(["pnmpad", "-white", "-width", "1728", "-height", "1144", "-halign", "0", "-valign", "0"],
                            input=padded, capture_output=True, check=True).stdout
    page = subprocess.run(["pamcut", "-left", "0", "-top", "0", "-width", "1728", "-height", "1144"], input=padded,
                          capture_output=True, check=True).stdout
    with open(path, "wb") as out:
        out.write(page)


def make_inputs(work, pages):
    pbms = []
    for number in range(1, pages + 1):
        pbm = os.path.join(work, f"page{number:02d}.pbm")
        render_page(number, pbm)
        pbms.append(pbm)
    raw = os.path.join(work, "call.g3")
    with open(raw, "wb") as out:
        for pbm in pbms:
            out.write(subprocess.run(["pbmtog3", pbm], capture_output=True, check=True).stdout)
    plain = os.path.join(work, "plain.tif")
    subprocess.run([IMAGEMAGICK, *pbms, "-define", "quantum:polarity=min-is-white", "-compress", "None",
                    "-density", "204x98", "-units", "PixelsPerInch", plain], check=True)
    tiff = os.path.join(work, "call.tif")
    subprocess.run(["tiffcp", "-c", "g3", plain, tiff], check=True)
    return raw, tiff


def run_once(pliftcmd, source, destination, work):
    shutil.rmtree(os.path.dirname(destination), ignore_errors=True)
    start = time.perf_counter()
    subprocess.run([pliftcmd, "/q", f"/f={source}", f"/sf={destination}", "/log="], cwd=work, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def median_time(pliftcmd, source, destination, work, runs):
    run_once(pliftcmd, source, destination, work)  # warm the page cache
    return statistics.median(run_once(pliftcmd, source, destination, work) for _ in range(runs))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--pages", type=int, default=20)
    parser.add_argument("--pliftcmd", default=os.path.join(ROOT, "build", "release", "pliftcmd"))
    args = parser.parse_args()
    for tool in ("pbmtext", "pnmenlarge", "pnmpad", "pamcut", "pbmtog3", "tiffcp"):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is missing: run scripts/install-deps.sh --test")
    if not os.path.exists(IMAGEMAGICK):
        sys.exit("ImageMagick is missing: run scripts/install-deps.sh --test")
    pliftcmd = os.path.abspath(args.pliftcmd)
    if not os.access(pliftcmd, os.X_OK):
        sys.exit(f"no pliftcmd at {pliftcmd}: build it first or pass --pliftcmd")

    with tempfile.TemporaryDirectory() as work:
        raw, tiff = make_inputs(work, args.pages)
        raw_out = os.path.join(work, "raw-out", "page.jpg")
        tiff_out = os.path.join(work, "tiff-out", "page.jpg")
        raw_seconds = median_time(pliftcmd, raw, raw_out, work, args.runs)
        tiff_seconds = median_time(pliftcmd, tiff, tiff_out, work, args.runs)
        raw_pages = len(os.listdir(os.path.dirname(raw_out)))
        tiff_pages = len(os.listdir(os.path.dirname(tiff_out)))
        print(f"{args.pages} pages of 1728 x 1144, median of {args.runs} runs")
        print(f"  raw MH stream {os.path.getsize(raw):>9} bytes  {raw_seconds * 1000:8.1f} ms  {raw_pages} JPEG pages")
        print(f"  MH TIFF file  {os.path.getsize(tiff):>9} bytes  {tiff_seconds * 1000:8.1f} ms  {tiff_pages} JPEG pages")
        ratio = raw_seconds / tiff_seconds
        print(f"  raw / TIFF = {ratio:.3f} (target at most {TARGET})")
        if raw_pages != tiff_pages:
            sys.exit("the two conversions wrote different page counts")
        return 0 if ratio <= TARGET else 1


if __name__ == "__main__":
    sys.exit(main())
