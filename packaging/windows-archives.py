"""What packaging/msi-and-zip.cmake has written for it, the same bytes from the same
files, whoever packs them and wherever:

  windows-archives.py zip FOLDER TOP ZIPFILE EPOCH
      the portable zip: FOLDER's files under the folder TOP, in the order of
      their names, each of the time EPOCH (seconds since 1970, UTC), with no
      owner and no permissions of the packer's (CPack's zip records the
      packer's user, the order in which the file system lists a folder, and
      local times);
  windows-archives.py msi-summary MSI EPOCH PACKAGE_CODE
      the MSI's package code and its times of creation and of last saving,
      which wixl takes from chance and from the clock.
"""

import sys
import time
import zipfile
from pathlib import Path


def write_zip(folder, top, zip_path, epoch):
    stamp = time.gmtime(int(epoch))[:6]
    entries = sorted(Path(folder).rglob("*"), key=lambda p: p.relative_to(folder).as_posix())
    with zipfile.ZipFile(zip_path, "w") as archive:
        archive.writestr(entry(top + "/", stamp, is_folder=True), b"")
        for path in entries:
            name = f"{top}/{path.relative_to(folder).as_posix()}"
            if path.is_dir():
                archive.writestr(entry(name + "/", stamp, is_folder=True), b"")
            else:
                archive.writestr(entry(name, stamp, is_folder=False), path.read_bytes())


def entry(name, stamp, is_folder):
    info = zipfile.ZipInfo(name, stamp)
    info.create_system = 0  # MS-DOS attributes, as Windows writes them
    info.external_attr = 0x10 if is_folder else 0x20  # directory, or archive
    info.compress_type = zipfile.ZIP_STORED if is_folder else zipfile.ZIP_DEFLATED
    return info


def write_msi_summary(msi, epoch, package_code):
    import gi

    gi.require_version("Libmsi", "1.0")
    from gi.repository import Libmsi

    # A FILETIME: 100-nanosecond steps since 1601.
    filetime = (int(epoch) + 11644473600) * 10_000_000
    database = Libmsi.Database.new(msi, Libmsi.DbFlags.TRANSACT, None)
    summary = Libmsi.SummaryInfo.new(database, 3)
    summary.set_string(Libmsi.Property.UUID, package_code)
    summary.set_filetime(Libmsi.Property.CREATED_TM, filetime)
    summary.set_filetime(Libmsi.Property.LASTSAVED_TM, filetime)
    summary.persist()
    database.commit()


if __name__ == "__main__":
    command, *arguments = sys.argv[1:]
    {"zip": write_zip, "msi-summary": write_msi_summary}[command](*arguments)
