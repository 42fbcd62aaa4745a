"""Memory of a Linux process as /proc shows it (a Wine program is one Linux process).

Private memory is the process's anonymous resident memory plus its swapped-out pages (RssAnon + VmSwap): what is
its own and not a mapped file. Wine's GetProcessMemoryInfo reports the same counters to Windows programs.
"""
import os


def status(pid):
    """The /proc/<pid>/status fields in KiB, e.g. {"RssAnon": 1234, "VmHWM": 5678}; {} once the process is gone."""
    fields = {}
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                name, _, value = line.partition(":")
                parts = value.split()
                if len(parts) == 2 and parts[1] == "kB":
                    fields[name] = int(parts[0])
    except OSError:
        return {}
    return fields


def private_kib(fields):
    return fields.get("RssAnon", 0) + fields.get("VmSwap", 0)


def command_line(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return f.read().replace(b"\0", b" ").decode(errors="replace")
    except OSError:
        return ""


def parent(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return int(f.read().rsplit(")", 1)[1].split()[1])
    except (OSError, IndexError, ValueError):
        return 0


def descendants(root):
    """The ids of every living process below `root`."""
    children = {}
    for name in os.listdir("/proc"):
        if name.isdigit():
            children.setdefault(parent(int(name)), []).append(int(name))
    found, todo = [], [root]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


def image_size(path):
    """SizeOfImage of a PE file, 0 when it is none."""
    try:
        with open(path, "rb") as f:
            header = f.read(4096)
    except OSError:
        return 0
    if header[:2] != b"MZ" or len(header) < 0x40:
        return 0
    pe = int.from_bytes(header[0x3C:0x40], "little")
    if header[pe:pe + 4] != b"PE\0\0" or len(header) < pe + 24 + 60:
        return 0
    return int.from_bytes(header[pe + 24 + 56:pe + 24 + 60], "little")


def module_images(pid):
    """(start, end, file name) of each PE module mapped in the process, from its header's mapping."""
    images = []
    try:
        with open("/proc/%d/maps" % pid) as f:
            lines = f.readlines()
    except OSError:
        return images
    for line in lines:
        parts = line.split(None, 5)
        if len(parts) < 6 or int(parts[2], 16) != 0:
            continue
        path = parts[5].strip()
        if not path.lower().endswith((".exe", ".dll", ".drv")):
            continue
        size = image_size(path)
        if size:
            start = int(parts[0].split("-")[0], 16)
            images.append((start, start + size, os.path.basename(path)))
    return images


def mapping_summary(pid):
    """Private memory (KiB) by kind of mapping, from /proc/<pid>/smaps: "<module> image" for anonymous pages inside a
    PE module's image (Wine reads the sections of a module whose file alignment is below the page size into
    anonymous memory; Windows maps them from the file), the Unix heap, other anonymous mappings (Windows virtual
    memory, thread stacks, large Unix allocations), and private pages of mapped files by file name."""
    images = module_images(pid)
    totals = {}
    name = None
    try:
        with open("/proc/%d/smaps" % pid) as f:
            for line in f:
                first = line.split(None, 1)[0]
                if "-" in first and not first.endswith(":"):
                    parts = line.split(None, 5)
                    path = parts[5].strip() if len(parts) > 5 else ""
                    start = int(first.split("-")[0], 16)
                    module = next((m for s, e, m in images if s <= start < e), None)
                    if module:
                        name = module + " image"
                    elif not path:
                        name = "[anonymous]"
                    elif path.startswith("["):
                        name = path
                    else:
                        name = os.path.basename(path)
                elif first == "Anonymous:" and name:
                    kib = int(line.split()[1])
                    if kib:
                        totals[name] = totals.get(name, 0) + kib
    except OSError:
        return {}
    return totals
