#!/usr/bin/env python3
"""Converts fax pages with the whole program and sets it beside cjpeg, page by
page:

  pliftcmd jpg   pliftcmd /to=jpg on the page's own file: start, decoding,
                 JPEG file (quality 50, optimised tables)
  pliftcmd png   the same with /to=png
  cjpeg          cjpeg -grayscale -quality 50 -optimize on a PGM of the image
                 the program encodes (rows repeated for standard-resolution
                 pages): JPEG encoding alone, the floor we work against

and the stages inside the program, from bench/page_writers_bench in one
process: decoding, squaring (the rows repeated into the 8-bit image cjpeg is
given), the JPEG writer and the PNG writer; with the bytes of both files.
Whole runs are medians of N, peak memory that of one run as GNU time
measures it.

Usage: bench/compare.py [--runs N] [FAX.tif ...]
Without files: the TIFF files of samples/, those of the fax corpus
($PAGELIFT_CORPUS or ../shared/corpus) and the dense 300-dpi Group 3 text
page that bench/make-bench-files.sh makes.
"""

import argparse
import glob
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "release")


def run_measured(command, cwd):
    """Runs a command once; returns its seconds."""
    start = time.perf_counter()
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, _ = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("failed: " + " ".join(command))
    return elapsed


def peak_kib(command, cwd):
    """The peak resident memory of one run, in KiB, as GNU time measures it:
    the resource usage of a process started from here would count the pages
    of this Python process, which it starts as a copy of."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name] + command, cwd=cwd, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return int(report.read().split()[-1])


def measure(command, cwd, runs):
    """The median seconds of `runs` runs after one that warms the page cache,
    and the peak memory of one run in KiB."""
    run_measured(command, cwd)
    times = [run_measured(command, cwd) for _ in range(runs)]
    return statistics.median(times), peak_kib(command, cwd)


def default_faxes(work):
    corpus = os.environ.get("PAGELIFT_CORPUS", os.path.join(ROOT, "..", "shared", "corpus"))
    faxes = sorted(glob.glob(os.path.join(ROOT, "samples", "*.tif")))
    faxes += sorted(glob.glob(os.path.join(corpus, "*.tif")) + glob.glob(os.path.join(corpus, "*.tiff")))
    made = os.path.join(work, "made")
    subprocess.run([os.path.join(ROOT, "bench", "make-bench-files.sh"), made], check=True)
    return faxes + [os.path.join(made, "dense-g3.tif")]


def split_pages(source, folder):
    """One TIFF file per page of `source`, coded as it is."""
    os.makedirs(folder)
    subprocess.run(["tiffsplit", source, os.path.join(folder, "page-")], check=True)
    return sorted(glob.glob(os.path.join(folder, "page-*.tif")))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("faxes", nargs="*")
    args = parser.parse_args()
    for tool in ("tiffsplit", "cjpeg", "/usr/bin/time"):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is missing: run scripts/install-deps.sh --test")
    pliftcmd = os.path.join(BUILD, "pliftcmd")
    stages = os.path.join(BUILD, "bench", "page_writers_bench")
    ratios, png_faster, byte_ratios = [], 0, []
    print("| page | size | pliftcmd jpg | cjpeg | jpg / cjpeg | pliftcmd png | decode | squaring | jpeg | png | "
          "jpeg bytes | png bytes | peak MiB jpg / cjpeg |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as work:
        faxes = args.faxes or default_faxes(work)
        for number, fax in enumerate(faxes):
            for page in split_pages(fax, os.path.join(work, str(number))):
                pgm = page + ".pgm"
                result = subprocess.run([stages, f"--rounds={args.runs}", f"--folder={work}",
                                         f"--pgm-prefix={page}", page], capture_output=True, text=True, check=True)
                fields = result.stdout.split("\t")
                os.rename(page + "-1.pgm", pgm)
                width, height = fields[2], fields[3]
                decode, squaring, jpeg, png, jpeg_bytes, png_bytes = fields[4:10]
                jpg_run = measure([pliftcmd, "/q", "/log=", "/to=jpg", "/f=" + page, "/sf=" + page + ".jpg"],
                                  work, args.runs)
                png_run = measure([pliftcmd, "/q", "/log=", "/to=png", "/f=" + page, "/sf=" + page + ".png"],
                                  work, args.runs)
                cjpeg = measure(["cjpeg", "-grayscale", "-quality", "50", "-optimize", "-outfile",
                                 page + ".cjpeg.jpg", pgm], work, args.runs)
                ratio = jpg_run[0] / cjpeg[0]
                ratios.append(ratio)
                png_faster += 1 if png_run[0] < jpg_run[0] else 0
                byte_ratios.append(int(png_bytes) / int(jpeg_bytes))
                label = f"{os.path.basename(fax)} {os.path.basename(page)[5:-4]}"
                print(f"| {label} | {width} x {height} | {jpg_run[0] * 1000:.1f} ms | {cjpeg[0] * 1000:.1f} ms | "
                      f"{ratio:.2f} | {png_run[0] * 1000:.1f} ms | {float(decode):.1f} | {float(squaring):.1f} | "
                      f"{float(jpeg):.1f} | {float(png):.1f} | {jpeg_bytes} | {png_bytes.strip()} | "
                      f"{jpg_run[1] / 1024:.1f} / {cjpeg[1] / 1024:.1f} |")
    print(f"\npliftcmd jpg / cjpeg over {len(ratios)} pages: median {statistics.median(ratios):.2f}, "
          f"largest {max(ratios):.2f}, smallest {min(ratios):.2f}")
    print(f"PNG pages faster than JPEG pages: {png_faster} of {len(ratios)}; PNG bytes / JPEG bytes: median "
          f"{statistics.median(byte_ratios):.2f}, largest {max(byte_ratios):.2f}, smallest {min(byte_ratios):.2f}")


if __name__ == "__main__":
    main()
