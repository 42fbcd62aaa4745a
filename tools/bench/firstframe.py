#!/usr/bin/python3
"""Time from starting a program to its first painted frame, seen from outside on the X display.

    firstframe.py --title TITLE --expect white|spinner [--timeout S] -- command [arguments...]

Notes the time just before it starts the command, then polls the X display ($DISPLAY) for a viewable top-level
window named TITLE and reads its pixels with XGetImage until they show the expected frame:
  white    the window's inside (its 1-pixel border left out) is white: an empty window painted
  spinner  the inside is mostly white and the spinner's square (64 x 64, centred, 24 pixels below the top of the
           client area) holds the spinner's colours: the splash window's spinner view
The command runs with WINEDEBUG=-all,+timestamp,+loaddll: Wine writes a line, stamped with its tick count (the
host's CLOCK_MONOTONIC_RAW in milliseconds, the clock used here), for each module it loads. The first such line of
the program's first thread is the start of its process; the last one for a DLL of the program's import tables
(peimports.py; the first .exe of the command is the program) is the moment its modules are loaded.
Prints one line "started_ms=S loaded_ms=L mapped_ms=M painted_ms=P private_kib=K" (S: the process started, L: its
modules are loaded, -1 when the trace does not tell; M: the window became viewable; P: the frame was seen; K: the
program's private memory then, see procmem.py), then ends the program (SIGTERM, then SIGKILL) and exits 0; exits 1
when the frame is not seen within the time-out.
"""
import argparse
import ctypes
import ctypes.util
import os
import signal
import re
import subprocess
import sys
import tempfile
import time

import peimports
import procmem

SPINNER_SIZE = 64
SPINNER_TOP = 24
BORDER = 1


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("class_", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


TRACE = "-all,+timestamp,+loaddll"
# "1234.567:0124:trace:loaddll:build_module Loaded L"C:\\windows\\system32\\user32.dll" at ..."
LOADED_LINE = re.compile(r'^(\d+)\.(\d{3}):([0-9a-f]+):trace:loaddll:\S+ Loaded L"([^"]*)"')
IS_VIEWABLE = 2
Z_PIXMAP = 2
ALL_PLANES = 0xFFFFFFFF
ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)


class Display:
    def __init__(self):
        x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                 ctypes.POINTER(ctypes.c_uint)]
        x.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
        x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(XWindowAttributes)]
        x.XGetImage.restype = ctypes.POINTER(XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XSetErrorHandler.argtypes = [ERROR_HANDLER]
        self.x = x
        # A window can go or move between two requests: X errors are expected and ignored.
        self.handler = ERROR_HANDLER(lambda display, event: 0)
        x.XSetErrorHandler(self.handler)
        self.display = x.XOpenDisplay(None)
        if not self.display:
            raise SystemExit("cannot open the X display %r" % os.environ.get("DISPLAY"))
        self.root = x.XDefaultRootWindow(self.display)

    def find(self, title):
        """The first viewable child of the root named `title`, with its size; None when there is none."""
        x = self.x
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        if not x.XQueryTree(self.display, self.root, ctypes.byref(root), ctypes.byref(parent),
                            ctypes.byref(children), ctypes.byref(count)):
            return None
        try:
            for i in range(count.value):
                window = children[i]
                name = ctypes.c_char_p()
                if not x.XFetchName(self.display, window, ctypes.byref(name)):
                    continue
                matches = name.value == title
                x.XFree(name)
                if not matches:
                    continue
                attributes = XWindowAttributes()
                if x.XGetWindowAttributes(self.display, window, ctypes.byref(attributes)) and \
                        attributes.map_state == IS_VIEWABLE:
                    return window, attributes.width, attributes.height
        finally:
            if children:
                x.XFree(children)
        return None

    def pixels(self, window, width, height):
        """The window's pixels as (width, height, bytes per line, BGRX bytes), or None when they cannot be read."""
        image = self.x.XGetImage(self.display, window, 0, 0, width, height, ALL_PLANES, Z_PIXMAP)
        if not image:
            return None
        try:
            info = image.contents
            if info.bits_per_pixel != 32:
                raise SystemExit("the display must have 24-bit depth (32 bits per pixel), not %d"
                                 % info.bits_per_pixel)
            data = ctypes.string_at(info.data, info.bytes_per_line * info.height)
            return info.width, info.height, info.bytes_per_line, data
        finally:
            self.x.XDestroyImage(image)


def white_count(rows):
    """Pixels whose blue, green and red bytes are all 255, in BGRX rows."""
    data = b"".join(rows)
    if not data:
        return 0
    b = int.from_bytes(data[0::4], "little")
    g = int.from_bytes(data[1::4], "little")
    r = int.from_bytes(data[2::4], "little")
    return (b & g & r).to_bytes(len(data) // 4, "little").count(b"\xff")


def region(image, left, top, right, bottom):
    width, height, stride, data = image
    left, top, right, bottom = max(left, 0), max(top, 0), min(right, width), min(bottom, height)
    if right <= left or bottom <= top:
        return [], 0
    rows = [data[y * stride + left * 4:y * stride + right * 4] for y in range(top, bottom)]
    return rows, (right - left) * (bottom - top)


def shows_frame(image, expect):
    width, height = image[0], image[1]
    rows, total = region(image, BORDER, BORDER, width - BORDER, height - BORDER)
    if total == 0:
        return False
    inside_white = white_count(rows)
    if expect == "white":
        return inside_white == total
    left = (width - SPINNER_SIZE) // 2
    top = BORDER + SPINNER_TOP
    spinner_rows, spinner_total = region(image, left, top, left + SPINNER_SIZE, top + SPINNER_SIZE)
    spinner_marks = spinner_total - white_count(spinner_rows)
    # The spinner's ring and arc cover about a third of its square; the rest of the inside is white.
    return spinner_marks >= spinner_total // 8 and inside_white >= total * 0.8


def now_ms():
    return time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000


def start_and_load(trace, program, started):
    """(process start, modules loaded) in ms after `started`, from the module trace; -1 for what it does not tell."""
    static = peimports.closure(program) if program else set()
    thread = None
    first = last = None
    for line in trace:
        match = LOADED_LINE.match(line)
        if not match:
            continue
        stamp = int(match.group(1)) * 1000 + int(match.group(2))
        if thread is None:
            thread, first = match.group(3), stamp
        name = re.split(r"[\\/]", match.group(4))[-1].lower()
        if match.group(3) == thread and name in static:
            last = stamp
    def since(stamp):
        return round(stamp - started) if stamp is not None and stamp >= started else -1
    return since(first), since(last)


def end(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--title", required=True)
    parser.add_argument("--expect", choices=("white", "spinner"), required=True)
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command")

    program = next((part for part in command if part.lower().endswith(".exe")), None)
    display = Display()
    title = args.title.encode()
    with tempfile.TemporaryFile("w+", errors="replace") as trace:
        started = now_ms()
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=trace,
                                   env=dict(os.environ, WINEDEBUG=TRACE))
        mapped = painted = None
        private = 0
        try:
            while now_ms() - started < args.timeout * 1000:
                found = display.find(title)
                if found:
                    now = now_ms()
                    if mapped is None:
                        mapped = now
                    image = display.pixels(*found)
                    if image and shows_frame(image, args.expect):
                        painted = now
                        private = procmem.private_kib(procmem.status(process.pid))
                        break
                elif process.poll() is not None:
                    print("the program ended (exit code %s) before its frame was seen" % process.returncode,
                          file=sys.stderr)
                    return 1
                time.sleep(0.002)
        finally:
            end(process)
        if painted is None:
            print("no frame within %.0f s" % args.timeout, file=sys.stderr)
            return 1
        trace.seek(0)
        process_start, modules_loaded = start_and_load(trace, program, started)
    print("started_ms=%d loaded_ms=%d mapped_ms=%.0f painted_ms=%.0f private_kib=%d"
          % (process_start, modules_loaded, mapped - started, painted - started, private))
    return 0


if __name__ == "__main__":
    sys.exit(main())
