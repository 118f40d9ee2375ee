#!/usr/bin/env python3
"""Speed-up of pliftcmd /j=2 over /j=1 on folders shaped like real archives:

  serial    40 one-page faxes named fax00001.tif .. fax00040.tif, as fax
            servers number them
  mixed     30 one-page faxes f01 .. f30, 6 larger pages, a three-page Group 4
            file last in list order
  document  one 30-page document
  letters   the mixed folder renamed without digits

The faxes come from samples/ (and, for the one-page files, the corpus when
it is there: $PAGELIFT_CORPUS or ../shared/corpus); the larger pages are
sample pages scaled up with ImageMagick. Runs of /j=1 and /j=2 alternate;
the script prints the median and range of --runs runs of each, and the
speed-up as the median (and quartiles) of the ratios of each /j=1 run to
the /j=2 run right after it.

Usage: bench/archive_speedups.py [--pliftcmd PATH] [--runs N]
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


def one_page_faxes():
    corpus = os.environ.get("PAGELIFT_CORPUS") or os.path.join(ROOT, "..", "shared", "corpus")
    files = [os.path.join(ROOT, "samples", name) for name in ("memo-g4.tif", "notice-packbits.tif", "receipt-plain.tif")]
    files += [os.path.join(corpus, name) for name in ("fax2d.tif", "g3test.tif") if os.path.exists(os.path.join(corpus, name))]
    return files


def magick(*arguments):
    subprocess.run([IMAGEMAGICK, *arguments], check=True, capture_output=True)


def make_folders(work):
    singles = one_page_faxes()
    letter = os.path.join(ROOT, "samples", "letter-g3.tif")
    folders = {}

    serial = os.path.join(work, "serial")
    os.makedirs(serial)
    for number in range(1, 41):
        shutil.copyfile(singles[number % len(singles)], os.path.join(serial, f"fax{number:05d}.tif"))
    folders["serial"] = serial

    mixed = os.path.join(work, "mixed")
    os.makedirs(mixed)
    for number in range(1, 31):
        shutil.copyfile(singles[number % len(singles)], os.path.join(mixed, f"f{number:02d}.tif"))
    large = os.path.join(work, "large.tif")
    magick(letter + "[0]", "-scale", "200%", "-compress", "Group4", large)
    for number in range(1, 7):
        shutil.copyfile(large, os.path.join(mixed, f"g{number}.tif"))
    magick(letter, os.path.join(ROOT, "samples", "memo-g4.tif"), "-compress", "Group4",
           os.path.join(mixed, "z-three-pages.tif"))
    magick(os.path.join(mixed, "z-three-pages.tif"), letter + "[1]", "-compress", "Group4",
           os.path.join(mixed, "z-three-pages.tif"))
    folders["mixed"] = mixed

    document = os.path.join(work, "document")
    os.makedirs(document)
    pages = [letter + "[0]", letter + "[1]", os.path.join(ROOT, "samples", "memo-g4.tif")] * 10
    magick(*pages, "-compress", "Group4", os.path.join(document, "thirty-pages.tif"))
    folders["document"] = document

    letters = os.path.join(work, "letters")
    os.makedirs(letters)
    for index, name in enumerate(sorted(os.listdir(mixed))):
        spelled = "".join(chr(ord("a") + int(digit)) for digit in f"{index:03d}")
        shutil.copyfile(os.path.join(mixed, name), os.path.join(letters, "fax" + spelled + ".tif"))
    folders["letters"] = letters
    return folders


def run(pliftcmd, folder, out, jobs):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    start = time.perf_counter()
    subprocess.run([pliftcmd, "/q", "/log=", f"/j={jobs}", "/d=" + folder, "/sd=" + out], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pliftcmd", default=os.path.join(ROOT, "build", "release", "pliftcmd"))
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    if not os.path.exists(IMAGEMAGICK):
        sys.exit("ImageMagick is missing: run scripts/install-deps.sh --test")

    with tempfile.TemporaryDirectory() as work:
        folders = make_folders(work)
        out = os.path.join(work, "out")
        print(f"{os.cpu_count()} cores, median (and range) of {args.runs} alternating runs\n")
        print("| folder | files | /j=1 s | /j=2 s | speed-up (quartiles) |")
        print("|---|---|---|---|---|")
        for name, folder in folders.items():
            run(args.pliftcmd, folder, out, 1)  # warm-up
            times = {1: [], 2: []}
            for _ in range(args.runs):
                for jobs in (1, 2):
                    times[jobs].append(run(args.pliftcmd, folder, out, jobs))
            one, two = statistics.median(times[1]), statistics.median(times[2])
            # Each /j=1 run against the /j=2 run right after it: the load
            # of the machine changes less within a pair than across the set.
            pairs = sorted(a / b for a, b in zip(times[1], times[2]))
            print(f"| {name} | {len(os.listdir(folder))} | {one:.3f} ({min(times[1]):.3f}-{max(times[1]):.3f}) | "
                  f"{two:.3f} ({min(times[2]):.3f}-{max(times[2]):.3f}) | {statistics.median(pairs):.2f} "
                  f"({pairs[len(pairs) // 4]:.2f}-{pairs[(3 * len(pairs)) // 4]:.2f}) |")


if __name__ == "__main__":
    main()
