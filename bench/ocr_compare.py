#!/usr/bin/env python3
"""Searchable PDFs of fax pages rendered from known text, made with
pliftcmd /ocr and with OCRmyPDF, and read back with pdftotext:

  pliftcmd /ocr   pliftcmd /to=pdf /ocr: decoding, orientation, recognition
                  in-process with Tesseract's library, the PDF with its text
  ocrmypdf        img2pdf (the page's Group 4 data into a PDF), then
                  ocrmypdf --rotate-pages (Ghostscript and the tesseract
                  program) on that PDF

Pages: fine and standard resolution, 11- and 8-point type, 11-point pages
received upside down (fine and standard), and one with specks and a slight
skew. For each page
the word recall (the share of the known words that pdftotext finds, each
word counted as often as it stands) and the median seconds a fax of N runs,
one process per fax after a warm-up run.

Usage: bench/ocr_compare.py [--runs N] [--only TEXT]
"""

import argparse
import collections
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from compare import BUILD

MAGICK = "/usr/bin/convert"
VOCABULARY = (
    "invoice order delivery payment account customer number date total amount please confirm receipt "
    "shipment attached document signature office telephone address street building contract service "
    "request quotation schedule meeting report agreement balance credit transfer reference department "
    "manager company product quantity price weekly monthly urgent copy second notice draft final pages "
    "regards sincerely thank you for your letter of the with from and our we will send it to"
).split()

# name, point size, standard resolution, received turned, specks and skew
PAGES = [
    ("fine 11pt", 11, False, 0, False),
    ("standard 11pt", 11, True, 0, False),
    ("fine 8pt", 8, False, 0, False),
    ("standard 8pt", 8, True, 0, False),
    ("upside down 11pt", 11, False, 180, False),
    ("upside down standard 11pt", 11, True, 180, False),
    ("specks, skew 11pt", 11, False, 0, True),
]


def page_text(seed, lines):
    rng = random.Random(seed)
    return "\n".join(" ".join(rng.choice(VOCABULARY) for _ in range(9)) for _ in range(lines))


def render(path, text, points, standard, turn, specks):
    """A fine page of the text, made a Group 4 TIFF page as a fax machine
    would receive it."""
    command = [MAGICK, "-size", "1728x2200", "xc:white", "-density", "204x196", "-units", "PixelsPerInch",
               "-font", "DejaVu-Sans", "-pointsize", str(points), "-annotate", "+100+150", text]
    if specks:
        command += ["-background", "white", "-rotate", "0.7", "-gravity", "center", "-extent", "1728x2200", "+repage",
                    "-attenuate", "0.04", "+noise", "Impulse"]
    command += ["-threshold", "50%"]
    if standard:
        command += ["-sample", "100%x50%", "-density", "204x98"]
    if turn:
        command += ["-rotate", str(turn)]
    command += ["-monochrome", "-compress", "Group4", path]
    subprocess.run(command, check=True)


def recall(pdf, text):
    """The share of the text's words that pdftotext finds in the PDF."""
    found = subprocess.run(["pdftotext", pdf, "-"], capture_output=True, text=True).stdout
    have = collections.Counter(re.findall(r"[a-z]+", found.lower()))
    want = collections.Counter(text.split())
    return sum(min(count, have[word]) for word, count in want.items()) / sum(want.values())


def seconds(commands, cwd):
    start = time.perf_counter()
    for command in commands:
        subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def median_seconds(commands, cwd, runs):
    seconds(commands, cwd)  # the warm-up run
    return statistics.median(seconds(commands, cwd) for _ in range(runs))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--only", default="", help="only the pages whose name holds this text")
    args = parser.parse_args()
    for tool in (MAGICK, "img2pdf", "ocrmypdf", "pdftotext"):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is missing: run scripts/install-deps.sh --test")
    pliftcmd = os.path.join(BUILD, "pliftcmd")
    misses = []
    print("| page | recall: pliftcmd | ocrmypdf | seconds a fax: pliftcmd | ocrmypdf | ours / ocrmypdf |")
    print("|---|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as work:
        for number, (name, points, standard, turn, specks) in enumerate(PAGES):
            if args.only not in name:
                continue
            text = page_text(number, 40 if points == 11 else 60)
            tiff = os.path.join(work, f"page{number}.tif")
            render(tiff, text, points, standard, turn, specks)
            ours_pdf = os.path.join(work, f"ours{number}.pdf")
            theirs_in = os.path.join(work, f"in{number}.pdf")
            theirs_pdf = os.path.join(work, f"theirs{number}.pdf")
            ours = [[pliftcmd, "/q", "/ocr", f"/f={tiff}", f"/sf={ours_pdf}"]]
            theirs = [["img2pdf", tiff, "-o", theirs_in], ["ocrmypdf", "-q", "--rotate-pages", theirs_in, theirs_pdf]]
            ours_time = median_seconds(ours, work, args.runs)
            theirs_time = median_seconds(theirs, work, args.runs)
            ours_recall = recall(ours_pdf, text)
            theirs_recall = recall(theirs_pdf, text)
            ratio = ours_time / theirs_time
            print(f"| {name} | {ours_recall:.3f} | {theirs_recall:.3f} | {ours_time:.2f} | {theirs_time:.2f} | "
                  f"{ratio:.2f} |")
            if ours_recall < theirs_recall - 0.02:
                misses.append(f"{name}: recall {ours_recall:.3f} below OCRmyPDF's {theirs_recall:.3f} less 0.02")
            if turn and ours_recall < 0.95:
                misses.append(f"{name}: recall {ours_recall:.3f} below 0.95")
            if ratio > 0.5:
                misses.append(f"{name}: {ratio:.2f} of OCRmyPDF's time, over half")
    print()
    print("Targets met." if not misses else "Missed:\n  " + "\n  ".join(misses))
    return 1 if misses else 0


if __name__ == "__main__":
    sys.exit(main())
