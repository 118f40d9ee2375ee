#!/usr/bin/env python3
"""What text recognition costs a run that does not ask for it: pliftcmd set
beside the same code built without OCR (PAGELIFT_WITH_OCR=OFF, made here in
build/no-ocr), beside tiff2pdf and beside cjpeg, all as whole processes,
their runs alternated so that the machine's drift falls on each alike:

  --version      start and end, nothing else
  PDF per fax    pliftcmd /to=pdf, and tiff2pdf, which copies Group 4 data
  JPEG per page  pliftcmd /to=jpg on each page's own file, and cjpeg
                 -grayscale -quality 50 -optimize on a PGM of the image the
                 program encodes (rows repeated for standard resolution)

with the peak memory of one run of each (GNU time), and the shared
libraries each program loads at start. With --ocr-reference, pliftcmd /ocr
on the rendered pages of bench/ocr_compare.py, set beside another build's
pliftcmd (one made before a change, say): word recall and seconds a fax.

Targets: --version at most 1.15x the build without OCR; PDF: the median of
the per-fax ratios to tiff2pdf at most 1.0 and the sum of our medians at
most 0.8x tiff2pdf's; JPEG at most 0.7x cjpeg's on every page of A4 or
larger (at least 8.2 x 11 inches); peak memory within 1 MiB of the build
without OCR; with --ocr-reference, recall equal within 0.01 and time within
10 %.

Usage: bench/start_cost.py [--runs N] [--ocr-reference PLIFTCMD] [FAX.tif ...]
Without files: those of bench/compare.py (samples, corpus, the dense page).
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile

from compare import BUILD, ROOT, default_faxes, peak_kib, run_measured, split_pages

NO_OCR_BUILD = os.path.join(ROOT, "build", "no-ocr")
A4_OR_LARGER = (8.2, 11.0)  # inches: A4 and US letter
MIB = 1024


def build_without_ocr():
    """pliftcmd of the same sources without OCR, Release as the preset."""
    subprocess.run(["cmake", "-S", ROOT, "-B", NO_OCR_BUILD, "-DCMAKE_BUILD_TYPE=Release",
                    "-DPAGELIFT_WITH_OCR=OFF", "-DPAGELIFT_WITH_QT=OFF", "-DPAGELIFT_BUILD_TESTS=OFF"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", NO_OCR_BUILD, "--target", "pliftcmd",
                    "-j", str(os.cpu_count() or 1)], check=True, stdout=subprocess.DEVNULL)
    return os.path.join(NO_OCR_BUILD, "pliftcmd")


def alternated(commands, cwd, runs):
    """Median seconds of each command over `runs` rounds, one run of each
    per round, after a round that warms the page cache. Each round takes the
    commands in an order of its own (shuffled, the same on every run of the
    script): whichever runs right after a long one (cjpeg on a large page)
    is slowed by it, measured at up to a fifth."""
    for command in commands:
        run_measured(command, cwd)
    times = [[] for _ in commands]
    order = list(range(len(commands)))
    shuffler = random.Random(len(commands) * 1000 + runs)
    for _ in range(runs):
        shuffler.shuffle(order)
        for index in order:
            times[index].append(run_measured(commands[index], cwd))
    return [statistics.median(series) for series in times]


def libraries_loaded(program):
    """The shared libraries the dynamic loader maps for a start."""
    out = subprocess.run(["ldd", program], capture_output=True, text=True, check=True).stdout
    return sum(1 for line in out.splitlines() if "=>" in line or line.strip().startswith("/"))


def page_inches(page):
    """Width and height of a TIFF page in inches, from its tags."""
    out = subprocess.run(["tiffinfo", page], capture_output=True, text=True).stdout
    width = height = 0
    x_dpi = y_dpi = 0.0
    for line in out.splitlines():
        line = line.strip()
        if line.startswith("Image Width:"):
            fields = line.split()
            width, height = int(fields[2]), int(fields[5])
        elif line.startswith("Resolution:"):
            values = line.split(":")[1].split(",")
            x_dpi = float(values[0])
            y_dpi = float(values[1].split()[0])
            if "cm" in line:
                x_dpi, y_dpi = x_dpi * 2.54, y_dpi * 2.54
    if not x_dpi or not y_dpi:
        return 0.0, 0.0
    return width / x_dpi, height / y_dpi


def version_section(ours, theirs, work, runs, misses):
    mine, plain, true = alternated([[ours, "--version"], [theirs, "--version"], ["true"]], work, runs)
    ratio = mine / plain
    print("| --version | pliftcmd | without OCR | ratio | /bin/true |")
    print("|---|---|---|---|---|")
    print(f"| median of {runs} | {mine * 1000:.2f} ms | {plain * 1000:.2f} ms | {ratio:.2f} | {true * 1000:.2f} ms |")
    print(f"\nshared libraries loaded at start: pliftcmd {libraries_loaded(ours)}, "
          f"without OCR {libraries_loaded(theirs)}\n")
    if ratio > 1.15:
        misses.append(f"--version {ratio:.2f}x the build without OCR, above 1.15")


def pdf_section(ours, theirs, faxes, work, runs, misses):
    print("| fax | pliftcmd pdf | without OCR | tiff2pdf | ours / tiff2pdf | peak MiB: ours / without OCR |")
    print("|---|---|---|---|---|---|")
    ratios, total_ours, total_tiff2pdf = [], 0.0, 0.0
    for number, fax in enumerate(faxes):
        out = os.path.join(work, f"pdf{number}")
        mine_run = [ours, "/q", "/log=", "/to=pdf", "/f=" + fax, "/sf=" + out + "a.pdf"]
        plain_run = [theirs, "/q", "/log=", "/to=pdf", "/f=" + fax, "/sf=" + out + "b.pdf"]
        mine, plain, libtiff = alternated([mine_run, plain_run, ["tiff2pdf", "-o", out + "c.pdf", fax]], work, runs)
        peaks = peak_kib(mine_run, work), peak_kib(plain_run, work)
        ratios.append(mine / libtiff)
        total_ours += mine
        total_tiff2pdf += libtiff
        name = os.path.basename(fax)
        print(f"| {name} | {mine * 1000:.1f} ms | {plain * 1000:.1f} ms | {libtiff * 1000:.1f} ms | "
              f"{mine / libtiff:.2f} | {peaks[0] / MIB:.1f} / {peaks[1] / MIB:.1f} |")
        if abs(peaks[0] - peaks[1]) > MIB:
            misses.append(f"{name} PDF: peak memory {peaks[0] - peaks[1]} KiB beside the build without OCR")
    median = statistics.median(ratios)
    print(f"\nPDF over {len(faxes)} faxes: median of ours / tiff2pdf {median:.2f}; sums {total_ours * 1000:.0f} ms "
          f"against {total_tiff2pdf * 1000:.0f} ms: {total_ours / total_tiff2pdf:.2f}\n")
    if median > 1.0:
        misses.append(f"PDF: median ratio to tiff2pdf {median:.2f}, above 1.0")
    if total_ours > 0.8 * total_tiff2pdf:
        misses.append(f"PDF: sum {total_ours / total_tiff2pdf:.2f}x tiff2pdf's, above 0.8")


def jpeg_section(ours, theirs, faxes, work, runs, misses):
    stages = os.path.join(BUILD, "bench", "page_writers_bench")
    print("| page | inches | pliftcmd jpg | without OCR | cjpeg | ours / cjpeg | peak MiB: ours / without OCR |")
    print("|---|---|---|---|---|---|---|")
    ratios = []
    for number, fax in enumerate(faxes):
        for page in split_pages(fax, os.path.join(work, f"pages{number}")):
            # The 8-bit image the program encodes, as cjpeg is given it.
            subprocess.run([stages, "--rounds=1", f"--folder={work}", f"--pgm-prefix={page}", page],
                           check=True, stdout=subprocess.DEVNULL)
            pgm = page + "-1.pgm"
            mine_run = [ours, "/q", "/log=", "/to=jpg", "/f=" + page, "/sf=" + page + "a.jpg"]
            plain_run = [theirs, "/q", "/log=", "/to=jpg", "/f=" + page, "/sf=" + page + "b.jpg"]
            cjpeg_run = ["cjpeg", "-grayscale", "-quality", "50", "-optimize", "-outfile", page + "c.jpg", pgm]
            mine, plain, cjpeg = alternated([mine_run, plain_run, cjpeg_run], work, runs)
            peaks = peak_kib(mine_run, work), peak_kib(plain_run, work)
            width, height = page_inches(page)
            large = width >= A4_OR_LARGER[0] and height >= A4_OR_LARGER[1]
            label = f"{os.path.basename(fax)} {os.path.basename(page)[5:-4]}"
            print(f"| {label} | {width:.1f} x {height:.1f} | {mine * 1000:.1f} ms | {plain * 1000:.1f} ms | "
                  f"{cjpeg * 1000:.1f} ms | {mine / cjpeg:.2f}{'' if large else ' (small)'} | "
                  f"{peaks[0] / MIB:.1f} / {peaks[1] / MIB:.1f} |")
            if large:
                ratios.append(mine / cjpeg)
                if mine > 0.7 * cjpeg:
                    misses.append(f"{label} JPEG: {mine / cjpeg:.2f}x cjpeg's, above 0.7")
            if abs(peaks[0] - peaks[1]) > MIB:
                misses.append(f"{label} JPEG: peak memory {peaks[0] - peaks[1]} KiB beside the build without OCR")
    if ratios:
        print(f"\nJPEG over {len(ratios)} pages of A4 or larger: ours / cjpeg median {statistics.median(ratios):.2f}, "
              f"largest {max(ratios):.2f}\n")


def ocr_section(ours, reference, work, runs, misses):
    from ocr_compare import PAGES, page_text, recall, render

    print("| page | recall: pliftcmd | reference | seconds: pliftcmd | reference | ratio |")
    print("|---|---|---|---|---|---|")
    for number, (name, points, standard, turn, specks) in enumerate(PAGES):
        text = page_text(number, 40 if points == 11 else 60)
        tiff = os.path.join(work, f"ocr{number}.tif")
        render(tiff, text, points, standard, turn, specks)
        mine_pdf, their_pdf = os.path.join(work, f"ocr{number}a.pdf"), os.path.join(work, f"ocr{number}b.pdf")
        mine, theirs = alternated([[ours, "/q", "/log=", "/ocr", "/f=" + tiff, "/sf=" + mine_pdf],
                                   [reference, "/q", "/log=", "/ocr", "/f=" + tiff, "/sf=" + their_pdf]], work, runs)
        mine_recall, their_recall = recall(mine_pdf, text), recall(their_pdf, text)
        print(f"| {name} | {mine_recall:.3f} | {their_recall:.3f} | {mine:.2f} | {theirs:.2f} | {mine / theirs:.2f} |")
        if abs(mine_recall - their_recall) > 0.01:
            misses.append(f"OCR {name}: recall {mine_recall:.3f} against {their_recall:.3f}")
        if not 0.9 <= mine / theirs <= 1.1:
            misses.append(f"OCR {name}: {mine / theirs:.2f}x the reference's time")
    print()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--ocr-reference", help="another build's pliftcmd to set /ocr beside")
    parser.add_argument("--ocr-runs", type=int, default=3)
    parser.add_argument("faxes", nargs="*")
    args = parser.parse_args()
    for tool in ("tiff2pdf", "tiffinfo", "tiffsplit", "cjpeg", "ldd", "/usr/bin/time"):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is missing: run scripts/install-deps.sh --test")
    ours = os.path.join(BUILD, "pliftcmd")
    theirs = build_without_ocr()
    misses = []
    with tempfile.TemporaryDirectory() as work:
        faxes = args.faxes or default_faxes(work)
        version_section(ours, theirs, work, args.runs, misses)
        pdf_section(ours, theirs, faxes, work, args.runs, misses)
        jpeg_section(ours, theirs, faxes, work, args.runs, misses)
        if args.ocr_reference:
            ocr_section(ours, args.ocr_reference, work, args.ocr_runs, misses)
    print("Targets met." if not misses else "Missed:\n  " + "\n  ".join(misses))
    return 1 if misses else 0


if __name__ == "__main__":
    sys.exit(main())
