#!/usr/bin/env python3
"""Converts TIFF faxes into one PDF each with the whole program and sets it
beside tiff2pdf and img2pdf on the same files, fax by fax:

  pliftcmd pdf   pliftcmd /to=pdf: start, decoding every page, Group 4
                 coding, the PDF file
  tiff2pdf       libtiff's tiff2pdf, which copies Group 4 data as it finds them
  img2pdf        img2pdf, which does the same in Python

Whole processes, medians of N runs (img2pdf: of a third as many, at least
three); peak memory as GNU time reports it for one run, set beside
pliftcmd's JPEG run of the same fax. Then the bytes of each PDF and of the source, and a folder of
100 faxes (the set over and over) in one pliftcmd /to=pdf run against a
shell loop of tiff2pdf over the same files.

Usage: bench/pdf_compare.py [--runs N] [FAX.tif ...]
Without files: those of bench/compare.py (the samples' and the corpus's
TIFF files, and the dense 300-dpi Group 3 page).
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

from compare import BUILD, default_faxes, measure, peak_kib

COMPRESSIONS = {"1": "none", "2": "MH", "3": "G3", "4": "G4", "32773": "PackBits"}


def coding_of(fax):
    """The compression of the first page, as tiffdump states it."""
    out = subprocess.run(["tiffdump", fax], capture_output=True, text=True).stdout
    for line in out.splitlines():
        if line.startswith("Compression (259)"):
            value = line.split("<")[-1].rstrip(">")
            return COMPRESSIONS.get(value, value)
    return "?"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("faxes", nargs="*")
    args = parser.parse_args()
    for tool in ("tiff2pdf", "img2pdf", "tiffdump", "/usr/bin/time"):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is missing: run scripts/install-deps.sh --test")
    pliftcmd = os.path.join(BUILD, "pliftcmd")
    slow_runs = max(3, args.runs // 3)
    totals = {"ours": 0.0, "tiff2pdf": 0.0}
    misses = []
    print("| fax | coding | pliftcmd pdf | tiff2pdf | img2pdf | ours / tiff2pdf | ours / img2pdf | "
          "bytes: source | ours | tiff2pdf | img2pdf | ours / img2pdf | peak MiB pdf / jpg |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as work:
        faxes = args.faxes or default_faxes(work)
        for number, fax in enumerate(faxes):
            out = os.path.join(work, f"{number}")
            pdf_run = [pliftcmd, "/q", "/log=", "/to=pdf", "/f=" + fax, "/sf=" + out + ".pdf"]
            jpg_run = [pliftcmd, "/q", "/log=", "/to=jpg", "/f=" + fax, "/sf=" + out + ".jpg"]
            ours = measure(pdf_run, work, args.runs)
            peaks = (ours[1], peak_kib(jpg_run, work))
            libtiff = measure(["tiff2pdf", "-o", out + ".t2p.pdf", fax], work, args.runs)
            python = measure(["img2pdf", "-o", out + ".i2p.pdf", fax], work, slow_runs)
            sizes = [os.path.getsize(path) for path in (fax, out + ".pdf", out + ".t2p.pdf", out + ".i2p.pdf")]
            coding = coding_of(fax)
            name = os.path.basename(fax)
            totals["ours"] += ours[0]
            totals["tiff2pdf"] += libtiff[0]
            if ours[0] > libtiff[0]:
                misses.append(f"{name}: slower than tiff2pdf")
            if ours[0] > 0.1 * python[0]:
                misses.append(f"{name}: above 0.1 of img2pdf's time")
            if sizes[1] > 1.05 * sizes[3]:
                misses.append(f"{name}: above 1.05 of img2pdf's bytes")
            if coding in ("MH", "G3") and sizes[1] >= sizes[0]:
                misses.append(f"{name}: not below the Group 3 source's bytes")
            if peaks[0] > peaks[1]:
                misses.append(f"{name}: more memory than the JPEG run")
            print(f"| {name} | {coding} | {ours[0] * 1000:.1f} ms | {libtiff[0] * 1000:.1f} ms | "
                  f"{python[0] * 1000:.0f} ms | {ours[0] / libtiff[0]:.2f} | {ours[0] / python[0]:.3f} | "
                  f"{sizes[0]} | {sizes[1]} | {sizes[2]} | {sizes[3]} | {sizes[1] / sizes[3]:.2f} | "
                  f"{peaks[0] / 1024:.1f} / {peaks[1] / 1024:.1f} |")

        folder = os.path.join(work, "hundred")
        os.makedirs(folder)
        for index in range(100):
            fax = faxes[index % len(faxes)]
            shutil.copy(fax, os.path.join(folder, f"fax{index:03d}.tif"))
        one_run = measure([pliftcmd, "/q", "/log=", "/to=pdf", "/d=" + folder, "/sd=" + os.path.join(work, "pdfs")],
                          work, slow_runs)
        loop = measure(["sh", "-c", 'mkdir -p "$2"; for fax in "$1"/*.tif; do '
                        'tiff2pdf -o "$2/$(basename "$fax" .tif).pdf" "$fax" || exit 1; done',
                        "loop", folder, os.path.join(work, "t2p")], work, slow_runs)

    ratio = totals["ours"] / totals["tiff2pdf"]
    print(f"\nover {len(faxes)} faxes: pliftcmd {totals['ours'] * 1000:.0f} ms, tiff2pdf "
          f"{totals['tiff2pdf'] * 1000:.0f} ms: {ratio:.2f}")
    print(f"100 faxes: one pliftcmd /to=pdf run {one_run[0] * 1000:.0f} ms, a shell loop of tiff2pdf "
          f"{loop[0] * 1000:.0f} ms: {one_run[0] / loop[0]:.2f}")
    if ratio > 0.5:
        misses.append("the set's total above 0.5 of tiff2pdf's")
    if one_run[0] > 0.3 * loop[0]:
        misses.append("the folder of 100 above 0.3 of the tiff2pdf loop")
    print("targets: " + ("all hold" if not misses else "missed: " + "; ".join(misses)))


if __name__ == "__main__":
    main()
