"""Finishes the Debian package that cpack has made, so that it is the same
bytes whoever packs it and on whatever file system (run by
packaging/deb-finish.cmake):

- every member of the package gets the mode 0644, where cpack gives the one
  that the packer's umask leaves;
- Installed-Size is counted as dpkg-gencontrol counts it: each regular file
  and link in KiB rounded up, one KiB for anything else. Cpack adds up the
  sizes that the file system gives the staged folders, 4 KiB each on ext4
  and a few bytes on tmpfs.

Usage: deb-finish.py PACKAGE
"""

import gzip
import io
import lzma
import math
import re
import sys
import tarfile


def read_members(package):
    if package[:8] != b"!<arch>\n":
        sys.exit("not a Debian package")
    members, at = [], 8
    while at < len(package):
        header = package[at : at + 60]
        size = int(header[48:58])
        members.append((header, package[at + 60 : at + 60 + size]))
        at += 60 + size + size % 2
    return members


def installed_size(data_tar):
    with tarfile.open(fileobj=io.BytesIO(data_tar)) as tar:
        return sum(
            math.ceil(entry.size / 1024) if entry.isreg() else 1
            for entry in tar.getmembers()
            if not entry.islnk()  # a second name of a file counts once
        )


def with_installed_size(name, control_tar, size):
    written = io.BytesIO()
    with tarfile.open(fileobj=io.BytesIO(control_tar)) as source, tarfile.open(
        fileobj=written, mode="w", format=tarfile.GNU_FORMAT
    ) as target:
        for entry in source.getmembers():
            content = source.extractfile(entry).read() if entry.isreg() else None
            if entry.name in ("control", "./control"):
                content = re.sub(rb"(?m)^Installed-Size: \d+$", b"Installed-Size: %d" % size, content)
                entry.size = len(content)
            target.addfile(entry, None if content is None else io.BytesIO(content))
    if name.endswith(b".gz"):
        return gzip.compress(written.getvalue(), compresslevel=9, mtime=0)
    if name.endswith(b".xz"):
        return lzma.compress(written.getvalue())
    sys.exit(f"a control archive of its own kind: {name.decode()}")


def finish(path):
    with open(path, "rb") as file:
        members = read_members(file.read())
    data = next(content for header, content in members if header.startswith(b"data.tar"))
    package = bytearray(b"!<arch>\n")
    for header, content in members:
        if header.startswith(b"control.tar"):
            name = header[:16].rstrip(b" /")
            content = with_installed_size(name, content, installed_size(data))
        # Name, time, owner and group as cpack wrote them; then mode and size.
        package += header[:40] + b"100644  " + b"%-10d" % len(content) + header[58:60]
        package += content + b"\n" * (len(content) % 2)
    with open(path, "wb") as file:
        file.write(package)


if __name__ == "__main__":
    finish(sys.argv[1])
