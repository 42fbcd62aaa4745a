#!/usr/bin/python3
"""Peak private memory of one program while a command runs.

    peakmem.py --match TEXT [--interval MS] -- command [arguments...]

Runs the command and samples, every MS milliseconds (default 10), each process below it whose command line holds
TEXT: its private memory (anonymous resident plus swapped-out, see procmem.py) and its peak resident size (VmHWM).
The command's output goes to stderr. Prints one line when the command ends:
  peak_private_kib=P images_kib=I peak_rss_kib=R samples=N exit=E
followed by lines "mapping <KiB> <name>": the private memory by mapping near the peak (largest first, see
procmem.mapping_summary). I is the part of P in the PE modules' images, which Windows maps from the files.
Exits with the command's exit code.
"""
import argparse
import subprocess
import sys
import time

import procmem


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--match", required=True)
    parser.add_argument("--interval", type=float, default=10)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command")

    process = subprocess.Popen(command, stdout=sys.stderr)
    peak_private = peak_rss = samples = 0
    peak_mappings = {}
    watched = {}
    last_scan = 0.0
    while process.poll() is None:
        now = time.monotonic()
        # New processes are looked for every 100 ms; the ones found are sampled at every interval.
        if now - last_scan >= 0.1:
            last_scan = now
            # A process forked for the program shows its parent's command line until it executes the program.
            for pid in procmem.descendants(process.pid):
                if not watched.get(pid):
                    watched[pid] = args.match in procmem.command_line(pid)
        for pid, matches in list(watched.items()):
            if not matches:
                continue
            fields = procmem.status(pid)
            if not fields:
                del watched[pid]
                continue
            samples += 1
            private = procmem.private_kib(fields)
            peak_rss = max(peak_rss, fields.get("VmHWM", 0))
            if private > peak_private:
                peak_private = private
                # A breakdown costs a few milliseconds: only for a new peak at least 1 MiB above the last one.
                if private - sum(peak_mappings.values()) >= 1024:
                    peak_mappings = procmem.mapping_summary(pid) or peak_mappings
        time.sleep(args.interval / 1000)
    images = sum(kib for name, kib in peak_mappings.items() if name.endswith(" image"))
    print("peak_private_kib=%d images_kib=%d peak_rss_kib=%d samples=%d exit=%d"
          % (peak_private, images, peak_rss, samples, process.returncode))
    for name, kib in sorted(peak_mappings.items(), key=lambda item: -item[1])[:12]:
        print("mapping %d %s" % (kib, name))
    return process.returncode


if __name__ == "__main__":
    sys.exit(main())
