"""The DLLs a Windows program loads before its own code runs: its import table's DLLs, theirs, and so on.

    peimports.closure(exe) -> set of lower-case DLL file names, the program's own name among them

DLLs are looked for beside the program, then among Wine's built-in PE modules. Delay-loaded DLLs are not in an
import table, so they are not in the set; API sets (api-ms-*, ext-ms-*) are resolved by the loader, not loaded
under their names, and are left out.
"""
import os
import struct

WINE_BUILTIN_FOLDERS = ("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", "/usr/lib/wine/x86_64-windows",
                        "/usr/lib64/wine/x86_64-windows", "/opt/wine-stable/lib64/wine/x86_64-windows")
IMPORT_DIRECTORY = 1


def imported_names(path):
    """The DLL names in the import table of the PE file at `path` (empty when it is no PE file)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"MZ" or len(data) < 0x40:
        return []
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return []
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    count = struct.unpack_from("<I", data, directories - 4)[0]
    if count <= IMPORT_DIRECTORY:
        return []
    rva = struct.unpack_from("<I", data, directories + 8 * IMPORT_DIRECTORY)[0]
    table = []
    start = optional + optional_size
    for i in range(sections):
        size, address, _, offset = struct.unpack_from("<4I", data, start + 40 * i + 8)
        table.append((address, size, offset))

    def offset_of(address):
        for section_address, size, offset in table:
            if section_address <= address < section_address + max(size, 1):
                return offset + address - section_address
        return None

    names = []
    at = offset_of(rva) if rva else None
    while at is not None and at + 20 <= len(data):
        name_rva = struct.unpack_from("<I", data, at + 12)[0]
        if name_rva == 0:
            break
        name_at = offset_of(name_rva)
        if name_at is not None:
            names.append(data[name_at:data.index(b"\0", name_at)].decode("ascii", "replace"))
        at += 20
    return names


def find(name, folders):
    for folder in folders:
        for candidate in (name, name.lower()):
            path = os.path.join(folder, candidate)
            if os.path.isfile(path):
                return path
    return None


def closure(exe):
    folders = [os.path.dirname(os.path.abspath(exe))] + [f for f in WINE_BUILTIN_FOLDERS if os.path.isdir(f)]
    found = {os.path.basename(exe).lower()}
    pending = [exe]
    while pending:
        for name in imported_names(pending.pop()):
            lower = name.lower()
            if lower in found or lower.startswith(("api-ms-", "ext-ms-")):
                continue
            found.add(lower)
            path = find(name, folders)
            if path:
                pending.append(path)
    return found
