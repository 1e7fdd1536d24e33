#!/usr/bin/env python3

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

"""Reads a built Linux program back and checks its hardening.

Position-independent executable, relocations read-only after start-up with
every symbol bound then (full RELRO), a non-executable stack, stack canaries
(__stack_chk_fail imported), fortified string and memory functions (a
__*_chk function imported) and control-flow protection: every function of
ours starts with ENDBR64, the landing pad of indirect branch tracking. The
GNU property note that would mark the whole program for IBT and shadow
stacks is the AND over every object linked, and Debian 12's C start-up files
carry neither mark, so the note is checked only where the linker wrote one.
Each missing feature is a failure, named. Reads the unstripped build output.

Usage: check_elf.py PROGRAM...
"""
import struct
import sys

PT_INTERP, PT_GNU_STACK, PT_GNU_RELRO, PT_GNU_PROPERTY = 3, 0x6474E551, 0x6474E552, 0x6474E553
PF_X = 1
DT_NULL, DT_FLAGS, DT_FLAGS_1 = 0, 30, 0x6FFFFFFB
DF_BIND_NOW, DF_1_NOW, DF_1_PIE = 0x8, 0x1, 0x08000000
SHT_SYMTAB, SHT_DYNSYM = 2, 11
STT_FUNC = 2
ENDBR64 = b"\xf3\x0f\x1e\xfa"
# Symbols of our own code: the orvane namespace, mangled.
OUR_PREFIX = "_ZN6orvane"
NT_GNU_PROPERTY_TYPE_0 = 5
GNU_PROPERTY_X86_FEATURE_1_AND = 0xC0000002
FEATURE_IBT, FEATURE_SHSTK = 0x1, 0x2


class Elf:
    def __init__(self, data):
        if data[:4] != b"\x7fELF" or data[4] != 2 or data[5] != 1:
            raise ValueError("not a 64-bit little-endian ELF file")
        self.data = data
        (self.type, _, _, _, phoff, shoff, _, _, phentsize, phnum, shentsize,
         shnum, _) = struct.unpack_from("<HHIQQQIHHHHHH", data, 16)
        self.segments = [struct.unpack_from("<IIQQQQQQ", data, phoff + i * phentsize)
                         for i in range(phnum)]
        self.sections = [struct.unpack_from("<IIQQQQIIQQ", data, shoff + i * shentsize)
                         for i in range(shnum)]

    def segment(self, kind):
        return next((s for s in self.segments if s[0] == kind), None)

    def dynamic(self):
        """{tag: value} of the dynamic section."""
        # A segment entry: type, flags, offset, vaddr, paddr, filesz, memsz, align.
        entry = next((s for s in self.segments if s[0] == 2), None)  # PT_DYNAMIC
        tags = {}
        if entry is None:
            return tags
        for at in range(entry[2], entry[2] + entry[5], 16):
            tag, value = struct.unpack_from("<qQ", self.data, at)
            if tag == DT_NULL:
                break
            tags[tag] = value
        return tags

    def symbols(self, table):
        """[(name, type, binding, section index, value, size)] of SHT_SYMTAB or SHT_DYNSYM."""
        found = []
        for sh in self.sections:
            # A section entry: name, type, flags, addr, offset, size, link, info, align, entsize.
            if sh[1] != table:
                continue
            strtab = self.sections[sh[6]]
            for at in range(sh[4], sh[4] + sh[5], sh[9] or 24):
                name, info, _, shndx, value, size = struct.unpack_from("<IBBHQQ", self.data, at)
                start = strtab[4] + name
                text = self.data[start:self.data.index(b"\0", start)].decode()
                found.append((text, info & 0xF, info >> 4, shndx, value, size))
        return found

    def dynamic_symbols(self):
        return {name for name, *_ in self.symbols(SHT_DYNSYM)}

    def function_entries(self, prefix):
        """{name: first four bytes} of the defined global functions whose names start with
        prefix. Local ones and the compiler's split-off parts (name.cold, name.isra.0) are
        only ever called directly, so the compiler rightly gives them no landing pad."""
        entries = {}
        for name, kind, binding, shndx, value, size in self.symbols(SHT_SYMTAB):
            if kind != STT_FUNC or binding not in (1, 2) or size == 0 or "." in name:
                continue
            if not name.startswith(prefix):
                continue
            if not 0 < shndx < len(self.sections):
                continue
            section = self.sections[shndx]
            at = section[4] + value - section[3]
            entries[name] = self.data[at:at + 4]
        return entries

    def x86_features(self):
        """The AND of the x86 feature bits in the GNU property note, or None."""
        note = self.segment(PT_GNU_PROPERTY)
        if note is None:
            return None
        at, end = note[2], note[2] + note[5]
        while at + 12 <= end:
            namesz, descsz, kind = struct.unpack_from("<III", self.data, at)
            name = self.data[at + 12:at + 12 + namesz]
            desc = at + 12 + (namesz + 7) // 8 * 8
            if kind == NT_GNU_PROPERTY_TYPE_0 and name == b"GNU\0":
                p = desc
                while p + 8 <= desc + descsz:
                    pr_type, pr_size = struct.unpack_from("<II", self.data, p)
                    if pr_type == GNU_PROPERTY_X86_FEATURE_1_AND:
                        return struct.unpack_from("<I", self.data, p + 8)[0]
                    p += 8 + (pr_size + 7) // 8 * 8
            at = desc + (descsz + 7) // 8 * 8
        return None


def check(path):
    elf = Elf(open(path, "rb").read())
    failures = []

    def expect(condition, what):
        if not condition:
            failures.append(what)

    dynamic = elf.dynamic()
    flags, flags_1 = dynamic.get(DT_FLAGS, 0), dynamic.get(DT_FLAGS_1, 0)
    expect(elf.type == 3 and elf.segment(PT_INTERP) is not None and flags_1 & DF_1_PIE,
           "a position-independent executable (-pie)")
    expect(elf.segment(PT_GNU_RELRO) is not None, "a RELRO segment (-Wl,-z,relro)")
    expect(flags & DF_BIND_NOW or flags_1 & DF_1_NOW,
           "every symbol bound at start-up, for full RELRO (-Wl,-z,now)")
    stack = elf.segment(PT_GNU_STACK)
    expect(stack is not None and not stack[1] & PF_X, "a non-executable stack")
    symbols = elf.dynamic_symbols()
    expect("__stack_chk_fail" in symbols, "stack canaries (-fstack-protector-strong)")
    fortified = sorted(s for s in symbols if s.startswith("__") and s.endswith("_chk")
                       and s != "__stack_chk_fail")
    expect(fortified, "fortified library calls, __*_chk (-D_FORTIFY_SOURCE=3 with optimisation)")
    ours = elf.function_entries(OUR_PREFIX)
    unmarked = sorted(name for name, entry in ours.items() if entry != ENDBR64)
    expect(ours, "a symbol table with our functions (an unstripped build)")
    expect(ours and not unmarked,
           f"ENDBR64 at {len(unmarked)} of {len(ours)} function entries, e.g. "
           f"{unmarked[:1]} (-fcf-protection)")
    features = elf.x86_features()
    if features is not None and features & (FEATURE_IBT | FEATURE_SHSTK):
        expect(features & FEATURE_IBT and features & FEATURE_SHSTK,
               "both IBT and SHSTK in the GNU property note (-fcf-protection=full)")

    for failure in failures:
        print(f"FAIL: {path}: lacks {failure}")
    if not failures:
        print(f"{path}: PIE, full RELRO, non-executable stack, stack protector, "
              f"fortified ({', '.join(fortified[:3])}...), ENDBR64 at all {len(ours)} "
              f"entries of ours")
    return not failures


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    results = [check(path) for path in sys.argv[1:]]
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
