#!/usr/bin/env python3
"""Static checks of the application icon and of the Windows program's resources.

    check_resources.py ico FILE.ico
    check_resources.py pe FILE.exe --version 1.2.3.4 --windows 6.0

Prints each failed check and exits 1 if there is any. The pe check needs
python3-pefile and reads the file only, so it works for 32-bit programs on a
host that cannot run them.
"""

import argparse
import struct
import sys
import xml.etree.ElementTree as ET

# (width, height, bits per pixel, colours) of the icon's images.
EXPECTED_ICONS = sorted([(32, 32, 1, 2), (32, 32, 4, 16), (16, 16, 4, 16)])

RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 3, 14, 24
VFT_APP, VOS_NT_WINDOWS32 = 0x1, 0x40004

# Windows takes these from System32 whatever the program's folder holds (its
# KnownDLLs, from Vista on). Imports are bound before any code of the
# program can restrict where DLLs come from, so it imports nothing else.
KNOWN_DLLS = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
              "oleaut32.dll", "rpcrt4.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "ws2_32.dll"}
# Looked up where present: imported, they would keep the program off the
# systems that lack them.
LOOKED_UP = {"SetDefaultDllDirectories", "GetDpiForWindow", "AdjustWindowRectExForDpi"}
DYNAMIC_BASE, NX_COMPAT, TERMINAL_SERVER_AWARE = 0x40, 0x100, 0x8000

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def check_image(name, entry, data):
    """entry: (width, height, colour count, bits per pixel) from the directory;
    data: the image, a BITMAPINFOHEADER with colour table, XOR bitmap and mask."""
    width, height, colours, bpp = entry
    if not check(len(data) >= 40, f"{name}: {len(data)} bytes, too short for a bitmap header"):
        return None
    size, w, h2, planes, bits, compression, _, _, _, used, _ = struct.unpack_from("<IiiHHIIiiII", data)
    check(size == 40, f"{name}: header size {size}, not 40")
    check((w, h2) == (width, 2 * height),
          f"{name}: bitmap is {w}x{h2}, directory says {width}x{height} (bitmap height counts the mask too)")
    check(planes == 1 and bits == bpp, f"{name}: {planes} planes of {bits} bits, directory says {bpp} bits")
    check(compression == 0, f"{name}: compression {compression}, not BI_RGB")
    table = used or (1 << bits if bits <= 8 else 0)
    check(table == colours == 1 << bpp, f"{name}: {table} colours in the table, directory says {colours}")
    xor_size = ((w * bits + 31) // 32) * 4 * height
    and_stride = ((w + 31) // 32) * 4
    expected = 40 + 4 * table + xor_size + and_stride * height
    if not check(len(data) == expected, f"{name}: {len(data)} bytes, {expected} expected for its format"):
        return None
    # A drawing mistake shows as an empty or a full mask.
    mask = data[expected - and_stride * height:]
    clear = sum(mask[y * and_stride + x // 8] >> (7 - x % 8) & 1 for y in range(height) for x in range(w))
    check(0 < clear < w * height * 3 // 4,
          f"{name}: {clear} of {w * height} pixels transparent; the artwork is missing or fills the whole square")
    return (width, height, bpp, colours)


def check_icon_set(source, images):
    found = sorted(i for i in images if i is not None)
    check(len(images) == len(EXPECTED_ICONS) and found == EXPECTED_ICONS,
          f"{source}: images {found}, expected exactly {EXPECTED_ICONS}")


def check_ico(path):
    data = open(path, "rb").read()
    reserved, kind, count = struct.unpack_from("<HHH", data)
    check((reserved, kind) == (0, 1), f"{path}: not an icon file (header {reserved}, {kind})")
    images = []
    for i in range(count):
        w, h, colours, _, planes, bpp, length, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        check(planes in (0, 1), f"image {i}: {planes} planes")
        entry = (w or 256, h or 256, colours or (1 << bpp if bpp <= 8 else 0), bpp)
        images.append(check_image(f"image {i}", entry, data[offset:offset + length]))
    check_icon_set(path, images)


def resource(pe, kind, ident):
    """The data of resource kind/ident in any language, or None."""
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for type_entry in root.entries if root else []:
        if type_entry.id != kind:
            continue
        for name_entry in type_entry.directory.entries:
            if name_entry.id == ident:
                lang = name_entry.directory.entries[0].data.struct
                return pe.get_data(lang.OffsetToData, lang.Size)
    return None


def check_pe_icon(pe):
    group = resource(pe, RT_GROUP_ICON, 1)
    if not check(group is not None, "no icon group 1"):
        return
    reserved, kind, count = struct.unpack_from("<HHH", group)
    check((reserved, kind) == (0, 1), f"icon group 1: header {reserved}, {kind}")
    images = []
    for i in range(count):
        w, h, colours, _, planes, bpp, length, ident = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        data = resource(pe, RT_ICON, ident)
        if not check(data is not None, f"icon group 1 names icon {ident}, which is missing"):
            continue
        check(len(data) == length, f"icon {ident}: {len(data)} bytes, the group says {length}")
        entry = (w or 256, h or 256, colours or (1 << bpp if bpp <= 8 else 0), bpp)
        images.append(check_image(f"icon {ident}", entry, data))
    check_icon_set("icon group 1", images)


def check_pe_version(pe, version):
    numbers = [int(p) for p in version.split(".")] + [0, 0, 0]
    major, minor, patch, tweak = numbers[:4]
    # Shown to users as major.minor, the minor in two digits.
    text = f"{major}.{minor:02d}"
    if not check(hasattr(pe, "VS_FIXEDFILEINFO"), "no version resource"):
        return
    fixed = pe.VS_FIXEDFILEINFO[0]
    ms, ls = (major << 16) | minor, (patch << 16) | tweak
    check((fixed.FileVersionMS, fixed.FileVersionLS) == (ms, ls), f"file version is not {major}.{minor}.{patch}.{tweak}")
    check((fixed.ProductVersionMS, fixed.ProductVersionLS) == (ms, ls), f"product version is not {major}.{minor}.{patch}.{tweak}")
    check(fixed.FileType == VFT_APP, f"file type {fixed.FileType:#x}, not an application")
    check(fixed.FileOS == VOS_NT_WINDOWS32, f"file OS {fixed.FileOS:#x}, not VOS_NT_WINDOWS32")

    tables, translations = {}, []
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                tables[table.LangID.decode().upper()] = {k.decode(): v.decode() for k, v in table.entries.items()}
        elif info.Key == b"VarFileInfo":
            for var in info.Var:
                value = var.entry.get(b"Translation", "")
                value = value.decode() if isinstance(value, bytes) else value
                translations += [tuple(int(part, 16) for part in value.split())]
    check(list(tables) == ["040904B0"], f"string tables {list(tables)}, expected only 040904B0")
    strings = tables.get("040904B0", {})
    expected = {
        "FileVersion": text,
        "ProductVersion": text,
        "ProductName": "Dedicated Server Starter",
        "FileDescription": "Dedicated Server Starter",
        "InternalName": "DedicatedServerStarter",
        "OriginalFilename": "DedicatedServerStarter.exe",
    }
    for key, value in expected.items():
        check(strings.get(key) == value, f"{key} is {strings.get(key)!r}, expected {value!r}")
    check(strings.get("CompanyName", "").strip() != "", "no CompanyName")
    check(translations == [(0x409, 1200)], f"translations {translations}, expected US English, Unicode")


def check_pe_header(pe, windows):
    header = pe.OPTIONAL_HEADER
    oldest = tuple(int(part) for part in windows.split("."))
    os_version = (header.MajorOperatingSystemVersion, header.MinorOperatingSystemVersion)
    subsystem = (header.MajorSubsystemVersion, header.MinorSubsystemVersion)
    check(os_version == subsystem == oldest, f"OS version {os_version} and subsystem {subsystem}, expected {oldest}")
    flags = DYNAMIC_BASE | NX_COMPAT | TERMINAL_SERVER_AWARE
    check(header.DllCharacteristics & flags == flags,
          f"DllCharacteristics {header.DllCharacteristics:#x}: not all of ASLR, DEP and Terminal Server aware")


def check_pe_imports(pe):
    imports = {entry.dll.decode().lower(): {i.name.decode() for i in entry.imports if i.name}
               for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    check(set(imports) <= KNOWN_DLLS, f"imports {sorted(set(imports) - KNOWN_DLLS)}, outside the KnownDLLs")
    functions = set().union(*imports.values()) if imports else set()
    check(not functions & LOOKED_UP, f"imports {sorted(functions & LOOKED_UP)}, which must be looked up")


def check_pe_manifest(pe):
    data = resource(pe, RT_MANIFEST, 1)
    if not check(data is not None, "no manifest (RT_MANIFEST 1)"):
        return
    try:
        root = ET.fromstring(data)
    except ET.ParseError as error:
        check(False, f"the manifest is not well-formed XML: {error}")
        return
    # Namespaces vary by element; the checks look at local names only.
    elements = [(e.tag.rsplit("}", 1)[-1], e) for e in root.iter()]

    def texts(name):
        return [(e.text or "").strip() for tag, e in elements if tag == name]

    levels = [e.get("level") for tag, e in elements if tag == "requestedExecutionLevel"]
    check(levels == ["asInvoker"], f"execution level {levels}, expected asInvoker")
    check(any(e.get("name") == "Microsoft.Windows.Common-Controls" and e.get("version") == "6.0.0.0"
              for tag, e in elements if tag == "assemblyIdentity"),
          "no dependency on common controls 6")
    check(texts("dpiAware") == ["true/pm"], f"dpiAware {texts('dpiAware')}, expected true/pm")
    check([t.split(",")[0].strip() for t in texts("dpiAwareness")] == ["PerMonitorV2"],
          f"dpiAwareness {texts('dpiAwareness')}, expected PerMonitorV2 first")
    check(texts("longPathAware") == ["true"], f"longPathAware {texts('longPathAware')}, expected true")
    check(len([1 for tag, _ in elements if tag == "supportedOS"]) >= 5, "fewer than five supportedOS entries")


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="what", required=True)
    sub.add_parser("ico").add_argument("file")
    pe_args = sub.add_parser("pe")
    pe_args.add_argument("file")
    pe_args.add_argument("--version", required=True, help="the project's version, as in project(VERSION)")
    pe_args.add_argument("--windows", required=True, help="the oldest Windows it starts on, as 6.0 for Vista")
    args = parser.parse_args()
    if args.what == "ico":
        check_ico(args.file)
    else:
        import pefile  # only here: the ico check works without it
        pe = pefile.PE(args.file)
        check_pe_version(pe, args.version)
        check_pe_icon(pe)
        check_pe_manifest(pe)
        check_pe_header(pe, args.windows)
        check_pe_imports(pe)
    for failure in failures:
        print("FAIL:", failure)
    print("all checks passed" if not failures else f"{len(failures)} checks failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
