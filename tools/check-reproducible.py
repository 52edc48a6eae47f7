#!/usr/bin/env python3
"""Checks the fields that would make two builds of one commit differ, so that the same sources
give the same installer wherever and whenever they are built.

In each executable:
  - the link time stamp of the PE header, and the time stamps of the resource directory tables
    and of the import descriptors, must be 0;
  - the PE checksum must be the one that the file's bytes give.
In an executable that carries a payload archive (resource IDR_ZIP), each entry of the archive:
  - must carry the source's time, in its local header and in the central directory alike;
  - must have the fixed Unix permissions rw-r--r-- (a file) or rwxr-xr-x (a folder), which do
    not depend on the builder's umask;
  - must follow the entry before it in the byte order of the names.

The source's time is SOURCE_DATE_EPOCH when it is set, else the time of the commit checked out
in SOURCE, else (a source tree without git history) 1980-01-01 00:00:00 UTC; an earlier time
counts as 1980-01-01, the earliest a ZIP entry holds. The entries' DOS times are read as UTC and
may lie one second off, as DOS times count in steps of two seconds.

Usage: check-reproducible.py SOURCE EXECUTABLE...
"""
import calendar
import io
import os
import struct
import subprocess
import sys
import time
import zipfile

from exe_checks import PE32_MAGIC, PeError, PeImage, pe_checksum, report

RT_RCDATA = 10
PAYLOAD_NAME = "IDR_ZIP"
ZIP_EPOCH = 315532800    # 1980-01-01 00:00:00 UTC
FILE_MODE = 0o100644
FOLDER_MODE = 0o040755


def source_time(source):
    """The time the payload's entries must carry, and where it comes from."""
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    origin = "SOURCE_DATE_EPOCH"
    if not epoch:
        epoch, origin = ZIP_EPOCH, "no git history"
        if os.path.exists(os.path.join(source, ".git")):
            commit = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"],
                                    capture_output=True, text=True, check=True)
            epoch, origin = commit.stdout.strip(), "the commit's time"
    return max(int(epoch), ZIP_EPOCH), origin


def shown(seconds):
    return time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(seconds))


def dos_time(date, clock):
    """A DOS date and time (ZIP application note, 4.4.6) read as UTC, in seconds since 1970."""
    return calendar.timegm(((date >> 9) + 1980, (date >> 5) & 15, date & 31,
                            clock >> 11, (clock >> 5) & 63, (clock & 31) * 2))


def check_header(name, image):
    failures = []
    if image.time_stamp:
        failures.append("%s: link time stamp %s, not 0" % (name, shown(image.time_stamp)))
    if image.magic != PE32_MAGIC:
        failures.append("%s: not a PE32 image" % name)
        return failures
    expected = pe_checksum(image.data, image.checksum_offset)
    if image.checksum != expected:
        failures.append("%s: PE checksum 0x%08x, not 0x%08x, the one its bytes give"
                        % (name, image.checksum, expected))
    if any(image.resource_time_stamps()):
        failures.append("%s: resource directory time stamps %s, not 0"
                        % (name, sorted(set(image.resource_time_stamps()))))
    for dll, _, stamp in image.import_descriptors():
        if stamp:
            failures.append("%s: import of %s stamped 0x%08x, not 0"
                            % (name, image.text(dll), stamp))
    return failures


def check_payload(name, payload, epoch):
    failures = []
    previous = None
    with zipfile.ZipFile(io.BytesIO(payload)) as archive:
        for entry in archive.infolist():
            where = "%s: payload entry %s" % (name, entry.filename)
            clock, date = struct.unpack_from("<HH", payload, entry.header_offset + 10)
            stamps = {"local header": dos_time(date, clock),
                      "central directory": calendar.timegm(entry.date_time + (0, 0, 0))}
            for record, stamp in stamps.items():
                if abs(stamp - epoch) > 1:
                    failures.append("%s: stamped %s in its %s, not %s"
                                    % (where, shown(stamp), record, shown(epoch)))
            mode = entry.external_attr >> 16
            wanted = FOLDER_MODE if entry.is_dir() else FILE_MODE
            if mode != wanted:
                failures.append("%s: Unix mode %o, not %o" % (where, mode, wanted))
            key = entry.filename.encode("cp437" if not entry.flag_bits & 0x800 else "utf-8")
            if previous is not None and key <= previous:
                failures.append("%s: comes after %s" % (where, previous.decode("latin-1")))
            previous = key
    return failures


def check(path, epoch):
    with open(path, "rb") as f:
        image = PeImage(f.read())
    name = os.path.basename(path)
    failures = check_header(name, image)
    payload = image.resource(RT_RCDATA, PAYLOAD_NAME) if image.magic == PE32_MAGIC else None
    if payload is not None:
        failures.extend(check_payload(name, payload, epoch))
    print("%s: %s%s" % (name, "PE header checked",
                        ", and the payload's entries" if payload is not None else ""))
    return failures


def main(arguments):
    if len(arguments) < 3:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    try:
        epoch, origin = source_time(arguments[1])
    except (OSError, ValueError, subprocess.CalledProcessError) as error:
        print("%s: cannot tell the source's time: %s" % (arguments[1], error), file=sys.stderr)
        return 1
    print("the source's time: %s (%s)" % (shown(epoch), origin))
    failures = []
    for path in arguments[2:]:
        try:
            failures.extend(check(path, epoch))
        except (OSError, PeError, ValueError, struct.error, zipfile.BadZipFile) as error:
            print("%s: cannot check: %s" % (path, error), file=sys.stderr)
            return 1
    return report(failures, "differs between builds: ",
                  "field(s) that two builds of one commit would not share",
                  "nothing in them depends on where or when they were built")


if __name__ == "__main__":
    sys.exit(main(sys.argv))
