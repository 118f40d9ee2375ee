#!/usr/bin/env python3
"""Times folder runs over an archive-like folder of fax files:

  pliftcmd /j=1     one file at a time
  pliftcmd /j=2     two at a time
  pliftcmd /j=0     one per processor core
  cjpeg loop        a serial shell loop of cjpeg -grayscale -quality 50
                    -optimize over PGMs of the very pages pliftcmd encodes
                    (JPEG encoding alone, one process per page)
  mogrify           ImageMagick's mogrify -format jpg -quality 50 over the
                    folder (multi-page files give one JPEG per page)

The folder holds copies of the TIFF files among the bundled samples and the
shared corpus (../shared/corpus), named apart, at least --files of them.
Prints the median wall time of --runs runs of each, and the ratios the
targets speak of: /j=1 over /j=2 (at least 1.7 on two cores) and /j=1
over the cjpeg loop (at most 1).

Usage: bench/parallel_runs.py [--runs N] [--files N]
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
IMAGEMAGICK = "/usr/bin/convert"
MOGRIFY = "/usr/bin/mogrify"


def timed(command, cwd, shell=False):
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, shell=shell, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def median_time(command, cwd, runs, before=None, shell=False):
    """Median seconds of `runs` runs after one warm-up; `before` runs
    untimed ahead of each (clearing the outputs)."""
    times = []
    for run in range(runs + 1):
        if before:
            before()
        seconds = timed(command, cwd, shell)
        if run > 0:
            times.append(seconds)
    return statistics.median(times)


def row_factor(page):
    """Rows the program repeats for the page: x over y resolution, at least 1."""
    info = subprocess.run(["tiffinfo", page], check=True, capture_output=True, text=True).stdout
    for line in info.splitlines():
        if "Resolution:" in line:
            values = line.split("Resolution:")[1].replace(",", " ").split()
            x, y = float(values[0]), float(values[1])
            return max(int(x) // int(y), 1) if int(y) > 0 else 1
    return 1


def archive(folder, count):
    """Copies of the sample and corpus TIFF files, at least `count` files."""
    sources = sorted(glob.glob(os.path.join(ROOT, "samples", "*.tif")))
    sources += sorted(glob.glob(os.path.join(ROOT, "..", "shared", "corpus", "*.tif*")))
    if not sources:
        sys.exit("no TIFF files found in samples/ or ../shared/corpus")
    files = []
    copy = 0
    while len(files) < count:
        for source in sources:
            name = f"{copy:02d}-{os.path.basename(source)}"
            shutil.copyfile(source, os.path.join(folder, name))
            files.append(os.path.join(folder, name))
        copy += 1
    return files


def pages_as_pgm(files, work):
    """For every page of every file, a PGM of the image the program encodes
    (rows repeated for standard-resolution pages)."""
    pgms = []
    for number, path in enumerate(files):
        pieces = os.path.join(work, f"split{number}")
        os.mkdir(pieces)
        subprocess.run(["tiffsplit", path, os.path.join(pieces, "p-")], check=True)
        for page in sorted(glob.glob(os.path.join(pieces, "p-*.tif"))):
            pgm = page + ".pgm"
            factor = row_factor(page)
            subprocess.run([IMAGEMAGICK, page, "-sample", f"100%x{100 * factor}%", "-colorspace", "Gray", "-depth",
                            "8", pgm], check=True)
            pgms.append(pgm)
    return pgms


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--files", type=int, default=40)
    parser.add_argument("--pliftcmd", default=os.path.join(ROOT, "build", "release", "pliftcmd"))
    args = parser.parse_args()
    for tool in ("tiffsplit", "tiffinfo", "cjpeg"):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is missing: run scripts/install-deps.sh --test")
    if not os.path.exists(MOGRIFY):
        sys.exit("ImageMagick is missing: run scripts/install-deps.sh --test")

    with tempfile.TemporaryDirectory() as work:
        folder = os.path.join(work, "faxes")
        out = os.path.join(work, "out")
        os.mkdir(folder)
        files = archive(folder, args.files)
        os.mkdir(os.path.join(work, "pgm"))
        pgms = pages_as_pgm(files, os.path.join(work, "pgm"))

        def fresh_output():
            shutil.rmtree(out, ignore_errors=True)
            os.mkdir(out)

        results = {}
        for jobs in ("1", "2", "0"):
            command = [args.pliftcmd, "/q", "/log=", f"/j={jobs}", "/d=" + folder, "/sd=" + out]
            results[f"/j={jobs}"] = median_time(command, work, args.runs, fresh_output)
        loop = "for page in " + " ".join(pgms) + '; do cjpeg -grayscale -quality 50 -optimize "$page" > out/page.jpg; done'
        results["cjpeg loop"] = median_time(loop, work, args.runs, fresh_output, shell=True)
        mogrify = [MOGRIFY, "-path", out, "-format", "jpg", "-quality", "50"] + files
        results["mogrify"] = median_time(mogrify, work, max(args.runs // 2, 1), fresh_output)

    print(f"{len(files)} files, {len(pgms)} pages, {os.cpu_count()} cores, median of {args.runs} runs\n")
    print("| run | seconds | pages per second |")
    print("|---|---|---|")
    for name, seconds in results.items():
        print(f"| {name} | {seconds:.2f} | {len(pgms) / seconds:.1f} |")
    print(f"\n/j=1 over /j=2: {results['/j=1'] / results['/j=2']:.2f}x (target at least 1.7)")
    print(f"/j=1 over the cjpeg loop: {results['/j=1'] / results['cjpeg loop']:.2f} (target at most 1)")
    print(f"mogrify over /j=0: {results['mogrify'] / results['/j=0']:.2f}x")


if __name__ == "__main__":
    main()
