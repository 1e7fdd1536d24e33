#!/usr/bin/env python3

# SPDX-FileCopyrightText: 2026 The Orvane developers
#
# SPDX-License-Identifier: Apache-2.0

"""Checks FAT card images from the user-mode Linux bench on the host.

  check_card.py check IMAGE --old DIR --new DIR [--fresh] [--result FILE] [--remount FILE]
  check_card.py replay LOG START --old DIR --new DIR [--fresh] [--every-write]

A card is sound when the allocation table has no damaged file, each update
file on it is whole (the old one or the new one byte for byte; missing only
on a card that had none), and a new dsccmd.ini never stands beside an old
vorm.bin. A card whose transfer reported success must hold both new files
and no temporary file. `replay` applies a dm-log-writes log to a copy of the
starting image up to every flush or FUA entry (with --every-write, up to
every write as well, in the order the writes completed) and checks each
state; states logged after the "success" mark must hold the new files.
"""
import argparse
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

FILES = ("vorm.bin", "dsccmd.ini")
TEMPORARY = ".orvtmp"
# What fsck.fat says about a file the allocation table no longer backs, or
# about clusters two files claim; lost clusters, an orphaned long-name part,
# the dirty bit and a stale free count are not damage to a file.
DAMAGE = re.compile(r"Contains a free cluster|starts with free cluster|Truncating|"
                    r"cluster chain length|share clusters|cross-?link|Duplicate|bad cluster|"
                    r"out of range|Invalid start", re.I)
ENV = dict(os.environ, MTOOLS_SKIP_CHECK="1", MTOOLS_NO_VFAT="0")


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


EMPTY = hashlib.sha256(b"").hexdigest()


def state_of(got, old, new, file):
    return ("new" if got == digest(os.path.join(new, file)) else
            "old" if old and got == digest(os.path.join(old, file)) else
            "empty" if got == EMPTY else "torn")


def file_states(image, old, new, scratch, folder):
    """Each update file's state ('old', 'new', 'missing', 'torn'), and the temporaries."""
    listing = subprocess.run(["mdir", "-b", "-i", image, "::/" + folder], env=ENV,
                             capture_output=True, text=True)
    names = [line.rsplit("/", 1)[-1] for line in listing.stdout.split("\n") if line.strip()]
    lower = {name.lower(): name for name in names}
    states = {}
    for file in FILES:
        if file not in lower:
            states[file] = "missing"
            continue
        out = os.path.join(scratch, file)
        if os.path.exists(out):
            os.unlink(out)
        copied = subprocess.run(["mcopy", "-n", "-o", "-i", image, f"::/{folder}/{lower[file]}",
                                 out], env=ENV, capture_output=True)
        if copied.returncode != 0 or not os.path.exists(out):
            states[file] = "torn"
            continue
        states[file] = state_of(digest(out), old, new, file)
    temporaries = sorted(n for n in names if n.lower().endswith(TEMPORARY))
    return states, temporaries


def fsck_damage(image):
    report = subprocess.run(["fsck.fat", "-n", image], capture_output=True, text=True)
    return [line for line in (report.stdout + report.stderr).split("\n") if DAMAGE.search(line)]


def problems_of(image, old, new, fresh, must_be_new, scratch, folder):
    """What is wrong with the card in `image`, as sentences; empty when sound."""
    problems = ["fsck: " + line.strip() for line in fsck_damage(image)]
    states, temporaries = file_states(image, None if fresh else old, new, scratch, folder)
    for file, state in states.items():
        # A name the card did not have may stand empty for a moment: the
        # rename gives it an entry with no clusters before the entry takes
        # the file's clusters. An empty file holds nothing to be taken for
        # an update.
        if state == "torn" or (state == "empty" and not fresh):
            problems.append(f"{file} is neither the old nor the new file")
        elif state == "missing" and not fresh:
            problems.append(f"{file} is missing")
    if states["dsccmd.ini"] == "new" and states["vorm.bin"] != "new":
        problems.append("a new dsccmd.ini beside an old or missing vorm.bin")
    if must_be_new:
        if any(state != "new" for state in states.values()):
            problems.append("success was reported but the files are " + str(states))
        if temporaries:
            problems.append("success was reported but temporaries remain: " + str(temporaries))
    return problems, states


def reported_success(result_file):
    with open(result_file) as f:
        lines = f.read().split("\n")
    if lines[0] not in ("success", "failure"):
        sys.exit(f"{result_file}: the transfer reported neither success nor failure")
    return lines[0] == "success"


def remount_states(listing, old, new, folder):
    """The update files' states as the remounted card showed them to the guest."""
    sums = {}
    prefix = "./" + (folder.lower() + "/" if folder else "")
    with open(listing) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 2 and parts[1].lower().rsplit("/", 1)[0] + "/" == prefix:
                sums[parts[1].rsplit("/", 1)[-1].lower()] = parts[0]
    states = {}
    for file in FILES:
        got = sums.get(file)
        states[file] = "missing" if got is None else state_of(got, old, new, file)
    return states


def check(args):
    must_be_new = bool(args.result) and reported_success(args.result)
    with tempfile.TemporaryDirectory() as scratch:
        problems, states = problems_of(args.image, args.old, args.new, args.fresh, must_be_new,
                                       scratch, args.folder)
    if args.remount:
        seen = remount_states(args.remount, None if args.fresh else args.old, args.new,
                              args.folder)
        if seen != states:
            problems.append(f"the remounted card shows {seen}, the image {states}")
    verdict = "FAIL" if problems else "ok"
    print(f"{verdict}: {os.path.basename(args.image)}: "
          f"{'success' if must_be_new else 'failure' if args.result else 'state'}, "
          f"vorm.bin {states['vorm.bin']}, dsccmd.ini {states['dsccmd.ini']}")
    for problem in problems:
        print("    " + problem)
    return 1 if problems else 0


# dm-log-writes: a super block in the first sector, then one entry per
# sector-sized block, each followed by its data unless it is a mark or discard.
LOG_MAGIC = 0x6A736677736872
FLUSH, FUA, DISCARD, MARK = 1, 2, 4, 8


def log_entries(log):
    with open(log, "rb") as f:
        magic, version, count, sector_size = struct.unpack("<QQQI", f.read(28))
        if magic != LOG_MAGIC or version != 1:
            sys.exit(f"{log}: not a dm-log-writes log")
        position = sector_size
        for _ in range(count):
            f.seek(position)
            header = f.read(sector_size)
            sector, sectors, flags, data_length = struct.unpack("<QQQQ", header[:32])
            position += sector_size
            data = b""
            if flags & MARK:
                data = header[32:32 + data_length]
            elif not flags & DISCARD and sectors:
                data = f.read(sectors * sector_size)
                position += sectors * sector_size
            yield sector * sector_size, sectors * sector_size, flags, data


def replay(args):
    checked = flush_points = failed = 0
    after_success = False
    with tempfile.TemporaryDirectory() as scratch:
        image = os.path.join(scratch, "card.img")
        shutil.copyfile(args.start, image)
        with open(image, "r+b") as card:
            for number, (offset, length, flags, data) in enumerate(log_entries(args.log)):
                if flags & MARK:
                    after_success = after_success or data == b"success"
                    continue
                card.seek(offset)
                card.write(b"\0" * length if flags & DISCARD else data)
                flush_point = bool(flags & (FLUSH | FUA))
                if not flush_point and not args.every_write:
                    continue
                card.flush()
                checked += 1
                flush_points += flush_point
                problems, states = problems_of(image, args.old, args.new, args.fresh,
                                               after_success, scratch, args.folder)
                if problems:
                    failed += 1
                    print(f"FAIL: entry {number}: vorm.bin {states['vorm.bin']}, "
                          f"dsccmd.ini {states['dsccmd.ini']}")
                    for problem in problems:
                        print("    " + problem)
    if not after_success:
        print(f"FAIL: {args.log}: the transfer did not report success")
        failed += 1
    print(f"{'FAIL' if failed else 'ok'}: {os.path.basename(args.log)}: "
          f"{flush_points} flush or FUA points and {checked - flush_points} other writes "
          f"checked, {failed} failed")
    return 1 if failed else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    one = sub.add_parser("check")
    one.add_argument("image")
    one.add_argument("--result")
    one.add_argument("--remount")
    log = sub.add_parser("replay")
    log.add_argument("log")
    log.add_argument("start")
    log.add_argument("--every-write", action="store_true")
    for p in (one, log):
        p.add_argument("--old", required=True)
        p.add_argument("--new", required=True)
        p.add_argument("--fresh", action="store_true")
        p.add_argument("--folder", default="FIRMWARE", help="the update files' folder; '' for the top")
    args = parser.parse_args()
    return check(args) if args.command == "check" else replay(args)


if __name__ == "__main__":
    sys.exit(main())
