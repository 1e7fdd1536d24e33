#!/usr/bin/env python3

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

"""Reads the built Orvane.exe (or orvane-cli.exe) back and checks what Windows will see in it.

The PE header (machine, GUI subsystem, the loader's hardening: address
randomisation with its relocations, no-execute, high-entropy addresses on
64-bit, no link time stamp), the imports (known system DLLs only, the W
functions for every path and text), and every resource: the two dialog
templates control by control, the About entry's string, the icon group, the
bitmaps, the version record and the manifest. Expected texts are read from
src/texts/texts.h, so the resource script and the code cannot drift apart
unnoticed.

The command line (--console) is checked for the same header, hardening,
imports, version record and manifest, as a console program without the
dialogs or their resources, with the message table of its events (the
scenario command_line reads its texts back under Wine).

Usage: check_pe.py PROGRAM.exe --texts src/texts/texts.h --version 1.2.3.4 [--console]
"""
import argparse
import re
import struct
import sys

# The DLLs the program may import: each is one of the system's known DLLs
# (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs), which
# the loader maps from the system folder only, never from the program's own.
# A DLL that is not there (the common controls, for one) would be looked for
# beside the program first, where a planted copy would run before it does; the
# program loads such a DLL itself, by its full path in the system folder.
KNOWN_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "setupapi.dll", "advapi32.dll",
              "msvcrt.dll", "shell32.dll", "ole32.dll", "comdlg32.dll", "shlwapi.dll",
              "ws2_32.dll", "oleaut32.dll", "imm32.dll", "rpcrt4.dll"}
WIDE_FUNCTIONS = {
    "KERNEL32.dll": ["GetCurrentDirectoryW", "GetPrivateProfileStringW", "GetLogicalDriveStringsW",
                     "CreateDirectoryW", "CreateFileW", "MoveFileExW", "FlushFileBuffers",
                     "FormatMessageW", "GetDriveTypeW", "GetDiskFreeSpaceExW",
                     "GetDiskFreeSpaceW", "DeviceIoControl", "GetSystemDirectoryW",
                     "LoadLibraryExW"],
    "USER32.dll": ["DialogBoxParamW", "MessageBoxW", "SetTimer", "KillTimer",
                   "RegisterDeviceNotificationW", "GetSystemMenu", "AppendMenuW", "LoadStringW",
                   "LoadIconW", "DrawIcon", "IsIconic", "SetWindowTextW", "CreateWindowExW"],
    "SETUPAPI.dll": ["SetupDiGetClassDevsW", "SetupDiEnumDeviceInfo",
                     "SetupDiGetDeviceRegistryPropertyW", "SetupDiDestroyDeviceInfoList",
                     "SetupDiEnumDeviceInterfaces", "SetupDiGetDeviceInterfaceDetailW",
                     "CM_Get_Parent", "CM_Get_Device_IDW"],
}
# The command line's own: the system side, its console and its loop; and
# none of the dialog's, whose layer it does not link.
CONSOLE_WIDE_FUNCTIONS = {
    "KERNEL32.dll": ["GetCurrentDirectoryW", "GetPrivateProfileStringW", "GetLogicalDriveStringsW",
                     "CreateDirectoryW", "CreateFileW", "MoveFileExW", "FlushFileBuffers",
                     "GetDiskFreeSpaceExW", "DeviceIoControl", "WriteConsoleW", "GetConsoleMode",
                     "SetConsoleCtrlHandler", "SetThreadExecutionState"],
    "USER32.dll": ["CreateWindowExW", "RegisterDeviceNotificationW", "MsgWaitForMultipleObjects",
                   "PeekMessageW"],
    "SETUPAPI.dll": WIDE_FUNCTIONS["SETUPAPI.dll"],
    "ADVAPI32.dll": ["RegisterEventSourceW", "ReportEventW"],
}
DIALOG_FUNCTIONS = {"DialogBoxParamW", "MessageBoxW", "SetTimer", "LoadStringW"}
# The only ANSI functions allowed: the C run-time's start-up calls these,
# and no path or text of ours passes through them. (The 32-bit start-up code
# looks for an already loaded libgcc DLL, to share its exception frames, and
# only then loads it by name, taking another reference to the same module.)
RUNTIME_ANSI_FUNCTIONS = {"GetStartupInfoA", "GetModuleHandleA", "LoadLibraryA"}
# The command line's log is a C++ file stream, which brings in the run-time's
# std::system_category; its texts come from FormatMessageA. None of ours.
CONSOLE_RUNTIME_ANSI_FUNCTIONS = RUNTIME_ANSI_FUNCTIONS | {"FormatMessageA"}
# PE DllCharacteristics and file characteristics.
DYNAMIC_BASE, NX_COMPAT, HIGH_ENTROPY_VA = 0x0040, 0x0100, 0x0020
RELOCS_STRIPPED = 0x0001
MACHINES = {"i386": 0x014C, "amd64": 0x8664}

RT_BITMAP, RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 2, 3, 5, 6, 14, 16, 24
RT_MESSAGETABLE = 11

WS_CHILD_VISIBLE = 0x50000000
WS_GROUP, WS_TABSTOP = 0x00020000, 0x00010000


class Checker:
    def __init__(self):
        self.failures = []
        self.passed = 0

    def expect(self, condition, what):
        if condition:
            self.passed += 1
        else:
            self.failures.append(what)
        return condition

    def equal(self, actual, expected, what):
        return self.expect(actual == expected, f"{what}: {actual!r}, expected {expected!r}")


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not an MZ executable")
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, self.pe + 4)
        optional = self.pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        self.timestamp = struct.unpack_from("<I", data, self.pe + 8)[0]
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, optional + 68)
        directories = optional + (96 if self.magic == 0x10B else 112)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            _, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rawsize), rawptr))

    def offset(self, rva):
        for vaddr, size, rawptr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rawptr + rva - vaddr
        raise ValueError(f"RVA {rva:#x} outside every section")

    def cstring(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("latin-1")

    def imports(self):
        """{dll name: [function names]}"""
        rva, _ = self.directories[1]
        result = {}
        entry = self.offset(rva)
        pointer = 8 if self.magic == 0x20B else 4
        while True:
            lookup, _, _, name, thunks = struct.unpack_from("<IIIII", self.data, entry)
            if name == 0:
                break
            functions = []
            at = self.offset(lookup or thunks)
            while True:
                value = int.from_bytes(self.data[at:at + pointer], "little")
                if value == 0:
                    break
                if not value >> (pointer * 8 - 1):  # by name, not by ordinal
                    functions.append(self.cstring(value + 2))
                at += pointer
            result[self.cstring(name)] = functions
            entry += 20
        return result

    def resources(self):
        """{(type, name): bytes} for the first language of each resource."""
        rva, _ = self.directories[2]
        base = self.offset(rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
                yield ident, target

        found = {}
        for type_id, type_dir in entries(0):
            for name_id, name_dir in entries(type_dir & 0x7FFFFFFF):
                _, leaf = next(entries(name_dir & 0x7FFFFFFF))
                data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
                start = self.offset(data_rva)
                found[(type_id, name_id)] = self.data[start:start + size]
        return found


class Reader:
    """Walks a dialog template: WORD-aligned fields, UTF-16 strings, ordinals."""

    def __init__(self, data, at=0):
        self.data, self.at = data, at

    def unpack(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def align(self, n):
        self.at = (self.at + n - 1) // n * n

    def text(self):
        end = self.at
        while self.data[end:end + 2] != b"\0\0":
            end += 2
        value = self.data[self.at:end].decode("utf-16-le")
        self.at = end + 2
        return value

    def sz_or_ordinal(self):
        first = struct.unpack_from("<H", self.data, self.at)[0]
        if first == 0xFFFF:
            self.at += 2
            return ("ordinal", self.unpack("H"))
        return self.text()


def parse_dialog(data):
    r = Reader(data)
    version, signature = struct.unpack_from("<HH", data, 0)
    extended = signature == 0xFFFF and version == 1
    dialog = {"extended": extended}
    if extended:
        r.at = 4
        dialog["help"], dialog["exstyle"], dialog["style"] = r.unpack("III")
    else:
        dialog["style"], dialog["exstyle"] = r.unpack("II")
    count = r.unpack("H")
    dialog["rect"] = r.unpack("hhhh")
    dialog["menu"], dialog["class"] = r.sz_or_ordinal(), r.sz_or_ordinal()
    dialog["caption"] = r.text()
    if dialog["style"] & 0x40:  # DS_SETFONT
        dialog["points"] = r.unpack("H")
        if extended:
            dialog["weight"], dialog["italic"], dialog["charset"] = r.unpack("HBB")
        dialog["font"] = r.text()
    controls = []
    for _ in range(count):
        r.align(4)
        control = {}
        if extended:
            control["help"], control["exstyle"], control["style"] = r.unpack("III")
            control["rect"] = r.unpack("hhhh")
            control["id"] = r.unpack("i")
        else:
            control["style"], control["exstyle"] = r.unpack("II")
            control["rect"] = r.unpack("hhhh")
            control["id"] = r.unpack("h")
        control["class"] = r.sz_or_ordinal()
        control["text"] = r.sz_or_ordinal()
        extra = r.unpack("H")
        r.at += extra
        controls.append(control)
    dialog["controls"] = controls
    return dialog


def read_texts(path):
    source = open(path, encoding="utf-8").read()
    texts = {}
    for name, value in re.findall(
            r'inline constexpr std::string_view (k\w+)\s*=\s*((?:"(?:[^"\\]|\\.)*"\s*)+);', source):
        parts = re.findall(r'"((?:[^"\\]|\\.)*)"', value)
        texts[name] = "".join(parts).encode().decode("unicode_escape")
    return texts


def check_dialogs(c, resources, texts):
    button, static = ("ordinal", 0x80), ("ordinal", 0x82)
    picture = WS_CHILD_VISIBLE | 0x0E | 0x100 | 0x200 | 0x800  # SS_BITMAP NOTIFY CENTERIMAGE REALSIZEIMAGE
    expected = {
        102: dict(extended=True, style=0x90CC0062, exstyle=0x00040000, caption=texts["kTitle"],
                  rect=(0, 0, 216, 81), points=8, font="MS Sans Serif",
                  extra=dict(help=0, weight=0, italic=0, charset=1),
                  controls=[
                      (button, 2, texts["kCancelButton"], WS_CHILD_VISIBLE | WS_TABSTOP, (149, 27, 65, 26)),
                      (button, 1002, texts["kUpdateButton"], WS_CHILD_VISIBLE | WS_TABSTOP, (2, 27, 63, 26)),
                      (static, -1, ("ordinal", 129), picture, (2, 5, 212, 22)),
                      (static, -1, ("ordinal", 130), picture, (2, 61, 212, 15)),
                  ]),
        100: dict(extended=False, style=0x80C800C0, exstyle=0, caption=texts["kAboutTitle"],
                  rect=(0, 0, 235, 55), points=8, font="MS Sans Serif", extra={},
                  controls=[
                      (static, -1, ("ordinal", 128), WS_CHILD_VISIBLE | 0x03, (11, 17, 20, 20)),
                      (static, -1, texts["kAboutVersion"], WS_CHILD_VISIBLE | 0x80 | WS_GROUP,
                       (40, 10, 119, 8)),
                      (static, -1, texts["kAboutSecondLine"], WS_CHILD_VISIBLE | WS_GROUP,
                       (40, 25, 119, 8)),
                      (button, 1, "OK", WS_CHILD_VISIBLE | 0x01 | WS_GROUP | WS_TABSTOP,
                       (178, 7, 50, 14)),
                  ]),
    }
    for ident, want in expected.items():
        if not c.expect((RT_DIALOG, ident) in resources, f"dialog {ident} present"):
            continue
        dialog = parse_dialog(resources[(RT_DIALOG, ident)])
        where = f"dialog {ident}"
        for key in ("extended", "style", "exstyle", "caption", "rect", "points", "font"):
            c.equal(dialog[key], want[key], f"{where} {key}")
        for key, value in want["extra"].items():
            c.equal(dialog[key], value, f"{where} {key}")
        c.equal(dialog["menu"], "", f"{where} menu")
        c.equal(dialog["class"], "", f"{where} class")
        c.equal(len(dialog["controls"]), len(want["controls"]), f"{where} control count")
        for n, (control, (cls, cid, text, style, rect)) in enumerate(
                zip(dialog["controls"], want["controls"]), 1):
            at = f"{where} control {n}"
            c.equal(control["class"], cls, f"{at} class")
            c.equal(control["id"], cid, f"{at} id")
            c.equal(control["text"], text, f"{at} text")
            c.equal(control["style"], style, f"{at} style")
            c.equal(control["exstyle"], 0, f"{at} extended style")
            c.equal(control["rect"], rect, f"{at} x, y, width, height")
            if dialog["extended"]:
                c.equal(control["help"], 0, f"{at} help id")


def check_strings(c, resources, texts):
    block = resources.get((RT_STRING, 101 // 16 + 1))
    if not c.expect(block is not None, "string table block of string 101 present"):
        return
    strings, at = [], 0
    for _ in range(16):
        length = struct.unpack_from("<H", block, at)[0]
        strings.append(block[at + 2:at + 2 + 2 * length].decode("utf-16-le"))
        at += 2 + 2 * length
    c.equal(strings[101 % 16], texts["kAboutMenuEntry"], "string 101")
    others = [i for i, s in enumerate(strings) if s and i != 101 % 16]
    c.equal(others, [], "no other string in the block")
    c.equal(sum(1 for t, _ in resources if t == RT_STRING), 1, "one string table block")


def bitmap_pixels(info):
    size, width, height, planes, bits = struct.unpack_from("<IiiHH", info, 0)
    colours = struct.unpack_from("<I", info, 32)[0] or (1 << bits)
    palette = [tuple(info[size + 4 * i:size + 4 * i + 3][::-1]) for i in range(colours)]
    row = (width * bits + 31) // 32 * 4
    pixels = info[size + 4 * colours:]
    used = {}
    for y in range(abs(height)):
        for x in range(width):
            byte = pixels[y * row + x * bits // 8]
            index = (byte >> 4) if x % 2 == 0 else (byte & 0x0F)
            used[palette[index]] = used.get(palette[index], 0) + 1
    return width, height, bits, used


def check_images(c, resources):
    for ident, size, ink in ((129, (322, 35), "black"), (130, (321, 17), "red")):
        data = resources.get((RT_BITMAP, ident))
        if not c.expect(data is not None, f"bitmap {ident} present"):
            continue
        width, height, bits, used = bitmap_pixels(data)
        c.equal((width, height), size, f"bitmap {ident} size")
        c.equal(bits, 4, f"bitmap {ident} bits per pixel")
        background = max(used, key=used.get)
        c.expect(min(background) >= 0xF0, f"bitmap {ident} is on white, not {background}")
        if ink == "black":
            inked = sum(n for (r, g, b), n in used.items() if max(r, g, b) < 0x40)
        else:
            inked = sum(n for (r, g, b), n in used.items() if r > 0xC0 and max(g, b) < 0x40)
        c.expect(inked > 100, f"bitmap {ident} has {ink} writing ({inked} pixels)")

    group = resources.get((RT_GROUP_ICON, 128))
    if c.expect(group is not None, "icon group 128 present"):
        count = struct.unpack_from("<H", group, 4)[0]
        sizes = []
        for i in range(count):
            w, h, colours, _, planes, bits, _, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            sizes.append((w, h))
            c.expect(colours == 16 or bits == 4, f"icon {w}x{h} has 16 colours")
            image = resources.get((RT_ICON, icon_id))
            if c.expect(image is not None, f"icon image {icon_id} present"):
                _, iw, ih, _, ibits = struct.unpack_from("<IiiHH", image, 0)
                c.equal((iw, ih // 2, ibits), (w, h, 4), f"icon image {icon_id} size and depth")
        c.equal(sorted(sizes), [(16, 16), (32, 32)], "icon group 128 sizes")


def version_strings(data):
    """The StringFileInfo tables of a version record: {block key: {name: value}}."""
    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", data, at)
        r = Reader(data, at + 6)
        key = r.text()
        r.align(4)
        value_at = r.at
        value_size = value_length * (2 if kind == 1 else 1)
        r.at = value_at + value_size
        r.align(4)
        children = []
        while r.at < at + length:
            child = node(r.at)
            children.append(child)
            r.at = child["end"]
            r.align(4)
        return dict(key=key, kind=kind, value=data[value_at:value_at + value_size], children=children,
                    end=at + length)

    root = node(0)
    tables = {}
    for child in root["children"]:
        if child["key"] == "StringFileInfo":
            for table in child["children"]:
                tables[table["key"]] = {
                    s["key"]: s["value"].decode("utf-16-le").rstrip("\0") for s in table["children"]}
    return root, tables


def check_version(c, resources, version, names):
    data = resources.get((RT_VERSION, 1))
    if not c.expect(data is not None, "version record present"):
        return
    root, tables = version_strings(data)
    fixed = struct.unpack("<13I", root["value"][:52])
    parts = [int(p) for p in (version.split(".") + ["0"] * 4)[:4]]
    packed = ((parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3])
    text = ", ".join(str(p) for p in parts)
    c.equal(fixed[0], 0xFEEF04BD, "version record signature")
    c.equal((fixed[2], fixed[3]), packed, f"file version {version}")
    c.equal((fixed[4], fixed[5]), packed, f"product version {version}")
    c.equal(fixed[8], 0x00000004, "file OS 32-bit Windows")
    c.equal(fixed[9], 0x00000001, "file type application")
    table = {k.upper(): v for k, v in tables.items()}.get("040904B0")
    if c.expect(table is not None, "string block 040904B0"):
        for name, value in (("FileVersion", text), ("ProductVersion", text)) + names:
            c.equal(table.get(name), value, f"version {name}")


def check_hardening(c, pe, machine):
    """What the loader needs to randomise and protect the program's memory."""
    flags = pe.dll_characteristics
    c.expect(flags & DYNAMIC_BASE, f"DYNAMIC_BASE set (address randomisation), flags {flags:#06x}")
    c.expect(flags & NX_COMPAT, f"NX_COMPAT set (no execution of data), flags {flags:#06x}")
    if machine == "amd64":
        c.expect(flags & HIGH_ENTROPY_VA, f"HIGH_ENTROPY_VA set on 64-bit, flags {flags:#06x}")
    # Without relocations the loader cannot move the image, whatever the flag says.
    reloc_rva, reloc_size = pe.directories[5]
    c.expect(reloc_rva != 0 and reloc_size > 0, "a base relocation table")
    c.expect(pe.characteristics & RELOCS_STRIPPED == 0, "relocations not stripped")
    # A link time in the header would make every build differ.
    c.equal(pe.timestamp, 0, "PE time stamp (none, for reproducible builds)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--texts", required=True)
    parser.add_argument("--machine", choices=sorted(MACHINES), default="i386")
    parser.add_argument("--version", required=True, help="the project's version, as 1.2.3.4")
    parser.add_argument("--console", action="store_true",
                        help="the command line: a console program without the dialogs")
    args = parser.parse_args()

    pe = PeFile(open(args.program, "rb").read())
    texts = read_texts(args.texts)
    c = Checker()

    c.equal(pe.machine, MACHINES[args.machine], "PE machine")
    c.equal(pe.magic, 0x10B if args.machine == "i386" else 0x20B, "PE32 or PE32+ optional header")
    if args.console:
        c.equal(pe.subsystem, 3, "subsystem (3 is the console)")
    else:
        c.equal(pe.subsystem, 2, "subsystem (2 is the Windows GUI, no console)")
    c.expect(pe.characteristics & 0x2000 == 0, "an executable, not a DLL")
    check_hardening(c, pe, args.machine)

    imports = pe.imports()
    foreign = sorted(d for d in imports if d.lower() not in KNOWN_DLLS)
    c.equal(foreign, [], "imported DLLs that are not known DLLs (loadable from the program's folder)")
    for dll, functions in (CONSOLE_WIDE_FUNCTIONS if args.console else WIDE_FUNCTIONS).items():
        have = {f for d, fs in imports.items() if d.lower() == dll.lower() for f in fs}
        missing = [f for f in functions if f not in have]
        c.equal(missing, [], f"{dll} functions the program must call")
    allowed_ansi = CONSOLE_RUNTIME_ANSI_FUNCTIONS if args.console else RUNTIME_ANSI_FUNCTIONS
    ansi = sorted(f for fs in imports.values() for f in fs
                  if re.fullmatch(r"[A-Z]\w*[a-z0-9]A", f) and f not in allowed_ansi)
    c.equal(ansi, [], "ANSI functions (every path and text goes through the W functions)")

    resources = pe.resources()
    if args.console:
        dialog = sorted(f for fs in imports.values() for f in fs if f in DIALOG_FUNCTIONS)
        c.equal(dialog, [], "the dialog's functions (the command line has no dialog)")
        c.equal(sorted({t for t, _ in resources}), [RT_MESSAGETABLE, RT_VERSION, RT_MANIFEST],
                "resources: the events' message table, the version record and the manifest only")
        check_version(c, resources, args.version,
                      (("InternalName", "orvane-cli"), ("FileDescription", "Orvane command line"),
                       ("ProductName", "Orvane Application"), ("OriginalFilename", "orvane-cli.exe")))
    else:
        check_dialogs(c, resources, texts)
        check_strings(c, resources, texts)
        check_images(c, resources)
        check_version(c, resources, args.version,
                      (("InternalName", "Orvane"), ("FileDescription", "Orvane MFC Application"),
                       ("ProductName", "Orvane Application"), ("OriginalFilename", "Orvane.EXE")))
    manifests = [data for (kind, _), data in resources.items() if kind == RT_MANIFEST]
    c.equal(len(manifests), 1, "one manifest")
    if manifests:
        c.expect(b'level="asInvoker"' in manifests[0], "the manifest asks for asInvoker")

    for failure in c.failures:
        print("FAIL:", failure)
    print(f"{c.passed} checks passed, {len(c.failures)} failed: {args.program}")
    return 1 if c.failures else 0


if __name__ == "__main__":
    sys.exit(main())
