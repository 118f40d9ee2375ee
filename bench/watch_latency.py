#!/usr/bin/env python3
"""How quickly pliftcmd /watch converts faxes as they arrive, and what it
costs while it waits.

Starts `pliftcmd /d=IN /sd=OUT /watch` (default settle time, 2 s), then
writes --faxes faxes into IN one after another, each by a writer that opens
the file, writes it and closes it, and waits until the last JPEG page of that
fax appears before the next one arrives. The delay counts from the writer's
last byte to the moment the last page is in place (its final name). Then the
watcher is left alone for --idle seconds and the processor time it used
meanwhile is read from /proc.

Usage: bench/watch_latency.py [--pliftcmd PATH] [--faxes N] [--idle SECONDS]
"""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SAMPLES = os.path.join(ROOT, "samples")


def cpu_seconds(pid):
    """User and system time of a process so far."""
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def wait_for(path, deadline):
    while not os.path.exists(path):
        if time.monotonic() > deadline:
            return False
        time.sleep(0.002)
    return True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pliftcmd", default=os.path.join(ROOT, "build", "release", "pliftcmd"))
    parser.add_argument("--faxes", type=int, default=100)
    parser.add_argument("--idle", type=int, default=60)
    args = parser.parse_args()

    # One-page and two-page faxes in turn: (sample, its last page's name).
    kinds = [("memo-g4.tif", "{}.jpg"), ("letter-g3.tif", "{}002.jpg"), ("receipt-plain.tif", "{}.jpg")]
    contents = {sample: open(os.path.join(SAMPLES, sample), "rb").read() for sample, _ in kinds}
    with tempfile.TemporaryDirectory() as scratch:
        source = os.path.join(scratch, "in")
        destination = os.path.join(scratch, "out")
        os.makedirs(source)
        os.makedirs(destination)
        watcher = subprocess.Popen([args.pliftcmd, "/d=" + source, "/sd=" + destination, "/watch", "/q", "/log="])
        time.sleep(1)
        delays = []
        try:
            for number in range(1, args.faxes + 1):
                sample, last_page = kinds[number % len(kinds)]
                name = f"fax{number:08d}"
                with open(os.path.join(source, name + ".tif"), "wb") as writer:
                    writer.write(contents[sample])
                    writer.flush()
                    written = time.monotonic()
                if not wait_for(os.path.join(destination, last_page.format(name)), written + 30):
                    sys.exit(f"{name} was not converted within 30 s")
                delays.append(time.monotonic() - written)
            before = cpu_seconds(watcher.pid)
            time.sleep(args.idle)
            idle = cpu_seconds(watcher.pid) - before
        finally:
            watcher.send_signal(signal.SIGTERM)
            watcher.wait(timeout=30)
    print(f"{len(delays)} faxes, delay from the writer's last byte to the last JPEG page:")
    print(f"  median {statistics.median(delays):.3f} s, maximum {max(delays):.3f} s, minimum {min(delays):.3f} s")
    print(f"processor time while idle for {args.idle} s: {idle:.3f} s ({100 * idle / args.idle:.3f} %)")
    print(f"exit status after SIGTERM: {watcher.returncode}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
