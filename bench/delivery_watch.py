#!/usr/bin/env python3
"""What mailing every fax costs the watcher: --faxes faxes through
`pliftcmd /watch` with mail on, against the same run without mail.

Each run has a scratch folder of its own (source, destination, a home
folder and a state folder, so that no run finds the records of another and
passes over faxes it thinks were mailed). The watcher starts as

  pliftcmd /d=IN /sd=OUT /watch /settle=0 /to=FORMAT /q /log=

(FORMAT from --to: jpg, the default, png or pdf) and, with mail on, also
/mailto=someone@example.org /mailfrom=pagelift@example.org /sendmail=....

The SMTP server (--server) listens on a free port of 127.0.0.1 and notes the
moment it accepts each message: "aiosmtpd", the default, in a thread of
this process, or "smtp-sink", postfix's server in C written for measuring
senders, which dumps each message to a file of its own.

The sendmail (--sendmail): "msmtp", the default, finds its settings in
~/.msmtprc of the run's home folder (HOME is set for the watcher, the same
in both kinds of run): plain SMTP, no authentication, no TLS, no log, to
that server. "postfix" is postfix's own /usr/sbin/sendmail with a postfix
of the run's own (its settings, queue and log in the run's scratch folder,
MAIL_CONFIG naming it), relaying to that server; it needs root and the
postfix package, and no settings of the machine's postfix.

The faxes (--faxes-of): "text", the default, are faxes as they are received,
one and two pages of typed text at fine resolution (1728 x 2200 pixels,
made with netpbm's pbmtext and pamtotiff, the same every time); "samples" are
the project's samples, pages that hold little, whose conversion costs less
than starting a sendmail: the worst case for mail's share.

Half a second after the watcher has started (untimed, so that it has listed
its empty source folder and waits for changes), the clock starts and the
faxes are written into IN, one after another, each by opening, writing and
closing it: copies of the one-page and two-page samples in turn, under
distinct names, the kinds in turn. A run without mail ends when the last output is in OUT
under its final name (OUT is listed every few milliseconds); a run with mail
ends when the server has accepted the last message. The outputs each
sample gives are found beforehand by a folder run over the samples, not
assumed. Then the watcher gets SIGTERM and must end within --timeout.

The two kinds of run alternate, --repeats times each. Printed: each run's
time, the medians, their ratio (target: mail adds at most 20 %, a ratio of
at most 1.20), and the checks: one message per fax, each carrying the pages
of exactly one fax as attachments (read with Python's email package), and
every page written in every run. For scale, with msmtp it also times msmtp alone,
started as the watcher starts it, sending 20 of the last run's messages one
after another to a fresh server. Exit status 1 when a check fails or the
target is missed.

Needs msmtp, netpbm, libtiff-tools and python3-aiosmtpd (scripts/install-deps.sh
--test), and a Python that finds aiosmtpd: Debian's /usr/bin/python3 does.

Usage: /usr/bin/python3 bench/delivery_watch.py [--pliftcmd PATH] [--faxes N] [--faxes-of text|samples]
                                               [--to jpg|png|pdf] [--server aiosmtpd|smtp-sink]
                                               [--sendmail msmtp|postfix] [--repeats N] [--timeout SECONDS]
"""

import argparse
import email
import email.policy
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SAMPLES = os.path.join(ROOT, "samples")
SAMPLE_KINDS = ["memo-g4.tif", "letter-g3.tif", "receipt-plain.tif"]
MAIL_OPTIONS = ["/mailto=someone@example.org", "/mailfrom=pagelift@example.org", "/sendmail=msmtp"]

try:
    from aiosmtpd.controller import Controller
except ImportError:
    Controller = None


class Counter:
    """An aiosmtpd handler that keeps every message it accepts, with the
    moment it accepted it; it does no more, so as not to slow the sender."""

    def __init__(self):
        self.lock = threading.Lock()
        self.messages = []
        self.last = None
        self.wanted = None
        self.all_in = threading.Event()

    async def handle_DATA(self, server, session, envelope):
        now = time.monotonic()
        with self.lock:
            self.messages.append((envelope.mail_from, list(envelope.rcpt_tos), envelope.original_content))
            self.last = now
            if self.wanted is not None and len(self.messages) >= self.wanted:
                self.all_in.set()
        return "250 OK"


class SinkServer:
    """Postfix's smtp-sink, a server written for measuring senders, on a
    free port of 127.0.0.1: each message it accepts goes to a file of its
    own, and a thread reads its running count (-c) to note the moment the
    wanted number is in. The same fields as Counter once stopped."""

    def __init__(self, folder, wanted):
        self.folder = folder
        os.makedirs(folder)
        os.chmod(folder, 0o777)  # it writes as nobody
        self.port = free_port()
        self.wanted = wanted
        self.lock = threading.Lock()
        self.messages = []
        self.last = None
        self.all_in = threading.Event()
        self.process = subprocess.Popen(["smtp-sink", "-c", "-u", "nobody", "-d", os.path.join(folder, "%H%M%S."),
                                         f"127.0.0.1:{self.port}", "256"], stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL)
        self.reader = threading.Thread(target=self._count, daemon=True)
        self.reader.start()
        for _ in range(500):
            with socket.socket() as probe:
                if probe.connect_ex(("127.0.0.1", self.port)) == 0:
                    return
            time.sleep(0.01)
        raise RuntimeError("smtp-sink did not start")

    def _count(self):
        pending = b""
        while True:
            chunk = self.process.stdout.read1(4096)
            if not chunk:
                return
            pending += chunk
            *reports, pending = pending.split(b"\r")
            for report in reports:
                for field in report.split():
                    if field.startswith(b"mesg=") and int(field[5:]) >= self.wanted and not self.all_in.is_set():
                        self.last = time.monotonic()
                        self.all_in.set()

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        # A dump: the envelope as X-Mail-Args: <from> and X-Rcpt-Args: <to>
        # ..., then a Received line and the message as it came.
        for name in sorted(os.listdir(self.folder)):
            with open(os.path.join(self.folder, name), "rb") as dump:
                content = dump.read()
            head, _, message = content.partition(b"\nReceived: ")
            envelope = dict(line.split(b": ", 1) for line in head.split(b"\n") if b": " in line)
            mail_from = envelope.get(b"X-Mail-Args", b"").split()[0].strip(b"<>").decode()
            recipients = [envelope.get(b"X-Rcpt-Args", b"").split()[0].strip(b"<>").decode()]
            self.messages.append((mail_from, recipients, b"Received: " + message))


class PostfixInstance:
    """A Postfix of the run's own (root and the postfix package needed): its
    settings, queue and log in `folder`, every message relayed to
    127.0.0.1:port, nothing listening. Postfix's sendmail finds it through
    MAIL_CONFIG in its environment."""

    def __init__(self, folder, port):
        self.config = os.path.join(folder, "conf")
        queue, data = os.path.join(folder, "queue"), os.path.join(folder, "data")
        for made in (self.config, queue, data):
            os.makedirs(made)
        shutil.chown(data, "postfix")
        shutil.copy("/etc/postfix/master.cf", self.config)
        with open(os.path.join(self.config, "main.cf"), "w") as settings:
            settings.write(f"compatibility_level = 3.6\nqueue_directory = {queue}\ndata_directory = {data}\n"
                           "mail_owner = postfix\nsetgid_group = postdrop\nmyhostname = bench.example.org\n"
                           "mydestination =\ninet_interfaces = loopback-only\nmaster_service_disable = inet\n"
                           f"relayhost = [127.0.0.1]:{port}\nsmtp_tls_security_level = none\n"
                           # No slowing of arrivals while deliveries lag: the run is timed to the last one.
                           "in_flow_delay = 0\n"
                           f"maillog_file_prefixes = {folder}\nmaillog_file = {os.path.join(folder, 'maillog')}\n")
        for command in ("check", "start"):
            subprocess.run(["postfix", "-c", self.config, command], check=True, timeout=60)

    def stop(self):
        subprocess.run(["postfix", "-c", self.config, "stop"], timeout=60)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def cpu_seconds(pid):
    """Processor time of a process so far, and that of its children it has
    waited for (here the sendmail program)."""
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    tick = os.sysconf("SC_CLK_TCK")
    return (int(fields[11]) + int(fields[12])) / tick, (int(fields[13]) + int(fields[14])) / tick


def stop(watcher, timeout):
    """SIGTERM, then its exit status; None when it did not end in time (it
    is killed then)."""
    if watcher.poll() is None:
        watcher.send_signal(signal.SIGTERM)
    try:
        return watcher.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        watcher.kill()
        watcher.wait(timeout=timeout)
        return None


def text_page(scratch, number):
    """A fine-resolution Group 4 TIFF page of typed text, as a file."""
    text = "".join(f"Line {line:02d} of page {number}: the quick brown fox jumps over the lazy dog, "
                   f"order {line * 7919 + number}.\n" for line in range(1, 46))
    page = os.path.join(scratch, f"page{number}.tif")
    pipeline = ("pbmtext -builtin fixed | pnmenlarge 2 | pnmpad -white -left 80 -top 120 | "
                "pnmpad -white -width 1728 -height 2200 -halign 0 -valign 0 | "
                "pamcut -left 0 -top 0 -width 1728 -height 2200 | "
                "pamtotiff -g4 -xresolution 204 -yresolution 196 > " + page)
    subprocess.run(["bash", "-o", "pipefail", "-c", pipeline], input=text.encode(), check=True)
    return page


def text_faxes(scratch):
    """Faxes of one and two pages of text, by name."""
    one = text_page(scratch, 1)
    two = os.path.join(scratch, "two.tif")
    subprocess.run(["tiffcp", one, text_page(scratch, 2), two], check=True)
    return {"text-one.tif": open(one, "rb").read(), "text-two.tif": open(two, "rb").read()}


def pages_of_faxes(pliftcmd, contents, scratch, timeout, to):
    """For each kind of fax, the suffixes of the outputs a folder run writes
    for it in format `to` (its name, then '.jpg' or '001.jpg', '002.jpg' ...;
    '.pdf' for a PDF)."""
    source = os.path.join(scratch, "kinds-in")
    destination = os.path.join(scratch, "kinds-out")
    os.makedirs(source)
    os.makedirs(destination)
    for kind, content in contents.items():
        with open(os.path.join(source, kind), "wb") as file:
            file.write(content)
    try:
        subprocess.run([pliftcmd, "/d=" + source, "/sd=" + destination, "/to=" + to, "/q", "/log="], check=True,
                       timeout=timeout,
                       stdout=subprocess.DEVNULL,
                       env=dict(os.environ, XDG_STATE_HOME=os.path.join(scratch, "kinds-state")))
    except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as failure:
        sys.exit(f"the folder run over the kinds of fax failed: {failure}")
    written = sorted(os.listdir(destination))
    pages = {}
    for kind in contents:
        stem = os.path.splitext(kind)[0]
        pages[kind] = [name[len(stem):] for name in written
                       if name.startswith(stem) and name.endswith("." + to) and name[len(stem)] in "0.-"]
        if not pages[kind]:
            sys.exit(f"a folder run wrote no {to} output for {kind} (it wrote {written})")
    return pages


def write_msmtprc(home, port):
    path = os.path.join(home, ".msmtprc")
    with open(path, "w") as config:
        config.write("defaults\nauth off\ntls off\nsyslog off\nlogfile\n"
                     f"account default\nhost 127.0.0.1\nport {port}\nfrom pagelift@example.org\n")
    os.chmod(path, 0o600)


def one_run(args, pages, contents, mail):
    """One watcher run; returns its facts (times, counts, messages)."""
    with tempfile.TemporaryDirectory() as scratch:
        source, destination, home, state = (os.path.join(scratch, name) for name in ("in", "out", "home", "state"))
        for folder in (source, destination, home, state):
            os.makedirs(folder)
        environment = dict(os.environ, HOME=home, XDG_STATE_HOME=state)
        environment.pop("STATE_DIRECTORY", None)
        environment.pop("XDG_CONFIG_HOME", None)

        names = []
        expected = set()
        kinds = sorted(contents)
        for number in range(args.faxes):
            sample = kinds[number % len(kinds)]
            name = f"fax{number:05d}"
            names.append((name, sample))
            expected.update(name + suffix for suffix in pages[sample])

        counter = Counter()
        counter.wanted = args.faxes
        controller = None
        postfix = None
        watcher = None
        command = [args.pliftcmd, "/d=" + source, "/sd=" + destination, "/watch", "/settle=0", "/to=" + args.to, "/q",
                   "/log="]
        facts = {"mail": mail, "failure": None, "copied": None, "cpu": None, "children_cpu": None, "own_cpu": None}
        start = time.monotonic()
        last_page = None
        try:
            if mail:
                os.chmod(scratch, 0o755)  # smtp-sink writes as nobody, Postfix's daemons run as postfix
                if args.server == "smtp-sink":
                    counter = controller = SinkServer(os.path.join(scratch, "sink"), args.faxes)
                    port = controller.port
                else:
                    controller = Controller(counter, hostname="127.0.0.1", port=free_port())
                    controller.start()
                    port = controller.port
                if args.sendmail == "postfix":
                    postfix = PostfixInstance(os.path.join(scratch, "postfix"), port)
                    environment["MAIL_CONFIG"] = postfix.config
                    command += MAIL_OPTIONS[:-1] + ["/sendmail=/usr/sbin/sendmail"]
                else:
                    write_msmtprc(home, port)
                    command += MAIL_OPTIONS
            watcher = subprocess.Popen(command, env=environment, stdout=subprocess.DEVNULL)
            time.sleep(0.5)
            start = time.monotonic()
            own_start = time.process_time()
            for name, sample in names:
                if watcher.poll() is not None:
                    break
                with open(os.path.join(source, name + ".tif"), "wb") as writer:
                    writer.write(contents[sample])
            facts["copied"] = time.monotonic() - start

            deadline = start + args.timeout
            while time.monotonic() < deadline and watcher.poll() is None:
                now = time.monotonic()
                if last_page is None and expected.issubset(os.listdir(destination)):
                    last_page = now
                if last_page is not None and (not mail or counter.all_in.is_set()):
                    break
                time.sleep(0.005)
            # This script's own processor time: the SMTP server's, and the
            # listing of the destination.
            facts["own_cpu"] = time.process_time() - own_start
            if watcher.poll() is not None:
                facts["failure"] = f"the watcher ended by itself, status {watcher.returncode}"
            else:
                facts["cpu"], facts["children_cpu"] = cpu_seconds(watcher.pid)
        finally:
            status = None if watcher is None else stop(watcher, args.timeout)
            if postfix is not None:
                postfix.stop()
            if controller is not None:
                controller.stop()

        facts["status"] = status
        facts["pages_expected"] = len(expected)
        facts["pages_written"] = len(expected.intersection(os.listdir(destination)))
        facts["last_page"] = None if last_page is None else last_page - start
        with counter.lock:
            facts["messages"] = list(counter.messages)
            facts["last_accepted"] = None if counter.last is None else counter.last - start
        if mail:
            facts["seconds"] = facts["last_accepted"] if counter.all_in.is_set() else None
        else:
            facts["seconds"] = facts["last_page"]
        if facts["failure"] is None:
            if facts["seconds"] is None:
                facts["failure"] = f"not complete within {args.timeout} s"
            elif status is None:
                facts["failure"] = f"the watcher did not end within {args.timeout} s of SIGTERM"
        facts["names"] = names
        return facts


def check_messages(facts, pages):
    """Problems with a mail run's messages: one per fax, from and to the
    addresses given, each with the fax's pages attached."""
    problems = []
    expected = {name: {name + suffix for suffix in pages[sample]} for name, sample in facts["names"]}
    mailed = {}
    for mail_from, recipients, content in facts["messages"]:
        message = email.message_from_bytes(content, policy=email.policy.default)
        if mail_from != "pagelift@example.org" or recipients != ["someone@example.org"]:
            problems.append(f"a message from {mail_from} to {recipients}")
        attached = {part.get_filename() for part in message.iter_attachments()}
        if not attached:
            problems.append(f"a message without attachments: {message['Subject']}")
            continue
        faxes = {name for name, files in expected.items() if attached == files}
        if len(faxes) != 1:
            problems.append(f"a message whose attachments are no fax's pages: {sorted(attached)}")
            continue
        fax = faxes.pop()
        mailed[fax] = mailed.get(fax, 0) + 1
    twice = sorted(name for name, count in mailed.items() if count > 1)
    missing = sorted(set(expected) - set(mailed))
    if twice:
        problems.append(f"{len(twice)} faxes mailed more than once, such as {twice[0]}")
    if missing:
        problems.append(f"{len(missing)} faxes not mailed, such as {missing[0]}")
    return problems


def sendmail_alone(messages, timeout):
    """Seconds msmtp takes for each of these messages on its own, started
    as the watcher starts it, to a server of its own: what one message
    costs at the least, one after another."""
    counter = Counter()
    controller = Controller(counter, hostname="127.0.0.1", port=free_port())
    controller.start()
    seconds = []
    try:
        with tempfile.TemporaryDirectory() as home:
            write_msmtprc(home, controller.port)
            environment = dict(os.environ, HOME=home)
            environment.pop("XDG_CONFIG_HOME", None)
            for content in messages:
                start = time.monotonic()
                subprocess.run(["msmtp", "-i", "-f", "pagelift@example.org", "--", "someone@example.org"],
                               input=content, env=environment, check=True, timeout=timeout)
                seconds.append(time.monotonic() - start)
    finally:
        controller.stop()
    return seconds if len(counter.messages) == len(messages) else None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pliftcmd", default=os.path.join(ROOT, "build", "release", "pliftcmd"))
    parser.add_argument("--faxes", type=int, default=200)
    parser.add_argument("--faxes-of", choices=("text", "samples"), default="text")
    parser.add_argument("--to", choices=("jpg", "png", "pdf"), default="jpg", help="the outputs' format")
    parser.add_argument("--sendmail", choices=("msmtp", "postfix"), default="msmtp",
                        help="msmtp, or Postfix's sendmail with a Postfix of the run's own (needs root)")
    parser.add_argument("--server", choices=("aiosmtpd", "smtp-sink"), default="aiosmtpd",
                        help="the SMTP server: aiosmtpd in this script, or Postfix's smtp-sink")
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--timeout", type=int, default=120, help="seconds a run, or a watcher's ending, may take")
    args = parser.parse_args()
    if Controller is None:
        sys.exit("python3-aiosmtpd is missing for this Python: run scripts/install-deps.sh --test, "
                 "or run the script with /usr/bin/python3")
    if shutil.which("msmtp") is None:
        sys.exit("msmtp is missing: run scripts/install-deps.sh --test")
    if (args.sendmail == "postfix" or args.server == "smtp-sink") and shutil.which("smtp-sink") is None:
        sys.exit("Postfix is missing: apt-get install postfix (it needs no settings of its own)")
    if args.sendmail == "postfix" and os.geteuid() != 0:
        sys.exit("--sendmail postfix starts a Postfix of its own, which needs root")
    if not os.access(args.pliftcmd, os.X_OK):
        sys.exit(f"{args.pliftcmd} is missing: cmake --build build/release --target pliftcmd")

    with tempfile.TemporaryDirectory() as scratch:
        if args.faxes_of == "text":
            for tool in ("pbmtext", "pnmenlarge", "pnmpad", "pamcut", "pamtotiff", "tiffcp"):
                if shutil.which(tool) is None:
                    sys.exit(f"{tool} is missing: run scripts/install-deps.sh --test")
            contents = text_faxes(scratch)
        else:
            contents = {sample: open(os.path.join(SAMPLES, sample), "rb").read() for sample in SAMPLE_KINDS}
        pages = pages_of_faxes(args.pliftcmd, contents, scratch, args.timeout, args.to)

    runs = []
    problems = []
    for repeat in range(args.repeats):
        for mail in (False, True):
            facts = one_run(args, pages, contents, mail)
            runs.append(facts)
            label = "with mail   " if mail else "without mail"
            seconds = "-" if facts["seconds"] is None else f"{facts['seconds']:.3f} s"
            line = f"run {repeat + 1} {label}: {seconds}, pages {facts['pages_written']}/{facts['pages_expected']}"
            if facts["copied"] is not None:
                line += f", faxes written in {facts['copied']:.3f} s"
            if mail:
                last_page = "-" if facts["last_page"] is None else f"{facts['last_page']:.3f} s"
                line += f", messages {len(facts['messages'])}/{args.faxes}, last page at {last_page}"
            if facts["cpu"] is not None:
                line += f", processor time pliftcmd {facts['cpu']:.2f} s"
                if mail:
                    line += f" + sendmail {facts['children_cpu']:.2f} s"
                line += f", this script (server, listing) {facts['own_cpu']:.2f} s"
            print(line, flush=True)
            if facts["failure"]:
                problems.append(f"run {repeat + 1} {label.strip()}: {facts['failure']}")
            if facts["pages_written"] != facts["pages_expected"]:
                problems.append(f"run {repeat + 1} {label.strip()}: {facts['pages_written']} of "
                                f"{facts['pages_expected']} pages written")
            if facts["status"] not in (0, None):
                problems.append(f"run {repeat + 1} {label.strip()}: exit status {facts['status']} after SIGTERM")
            if mail:
                if len(facts["messages"]) != args.faxes:
                    problems.append(f"run {repeat + 1} with mail: {len(facts['messages'])} messages for "
                                    f"{args.faxes} faxes")
                problems += [f"run {repeat + 1} with mail: {problem}" for problem in check_messages(facts, pages)]

    plain = [facts["seconds"] for facts in runs if not facts["mail"] and facts["seconds"] is not None]
    mailed = [facts["seconds"] for facts in runs if facts["mail"] and facts["seconds"] is not None]
    total_pages = runs[0]["pages_expected"]
    print(f"\n{args.faxes} faxes of {args.faxes_of} ({total_pages} {args.to} outputs), {args.repeats} runs of each, "
          f"{os.cpu_count()} cores")
    if len(plain) == args.repeats and len(mailed) == args.repeats:
        without, with_mail = statistics.median(plain), statistics.median(mailed)
        ratio = with_mail / without
        print(f"  without mail, to the last page written:       median {without:.3f} s "
              f"({args.faxes / without:.1f} faxes per second)")
        print(f"  with mail, to the last message accepted:      median {with_mail:.3f} s "
              f"({args.faxes / with_mail:.1f} faxes per second)")
        print(f"  with mail over without: {ratio:.3f} (target at most 1.20: "
              f"{'met' if ratio <= 1.20 else 'missed'})")
        if ratio > 1.20:
            problems.append(f"mail adds {100 * (ratio - 1):.0f} %, more than 20 %")
    else:
        print("  no medians: some runs did not complete")
        if not problems:
            problems.append("some runs did not complete")
    mailed_runs = [facts for facts in runs if facts["mail"]]
    print(f"  messages accepted per mail run: {', '.join(str(len(facts['messages'])) for facts in mailed_runs)}"
          f" (one per fax wanted), each checked for the fax's pages as attachments")
    if args.sendmail == "msmtp" and mailed_runs and mailed_runs[-1]["messages"]:
        replayed = [content for _, _, content in mailed_runs[-1]["messages"][:20]]
        alone = sendmail_alone(replayed, args.timeout)
        if alone is None:
            problems.append("msmtp alone: the server did not accept every message")
        else:
            each = statistics.median(alone)
            print(f"  msmtp alone, {len(alone)} of those messages one after another: median {1000 * each:.1f} ms "
                  f"a message ({args.faxes} messages: {args.faxes * each:.2f} s)")
    for problem in problems:
        print(f"FAILED: {problem}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
