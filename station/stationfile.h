#pragma once

#include <QByteArray>
#include <QString>

// The station start file on disk. Every failure throws Failure.

// With no drive root, "c:\pelmora\pelstart.dat" itself, on Windows' own drive C:.
// Otherwise the drive letter is a folder under the drive root:
// <driveRoot>/c/pelmora/pelstart.dat; so on Linux, and for tests everywhere.
QString stationFilePath(const QString& driveRoot);

// Ordinary files only: a folder, or on Windows a hidden or system file, does not count.
bool stationFilePresent(const QString& path);

// At most maxStationFileBytes of the file; the rest is never read.
QByteArray readStationFile(const QString& path);

// Replaces the file with the given bytes: written completely beside it, on
// disk, then put in its place with the old file's owner and permissions or
// access list. A symbolic link (or on Windows a junction) at the path or on
// the way to it stays one, and the file it leads to gets the bytes, when
// Larkspur's rule for links allows it (linkrule.h); otherwise the save is
// refused. On failure the old file stays as it was.
void writeStationFile(const QString& path, const QByteArray& bytes);
