#pragma once

#include <QByteArray>
#include <QString>

// The station start file on disk. Every failure throws Failure.

// "c:\pelmora\pelstart.dat" on Windows; elsewhere the drive letter is a folder
// under the given drive root: <driveRoot>/c/pelmora/pelstart.dat.
QString stationFilePath(const QString& driveRoot);

// Ordinary files only: a folder, or on Windows a hidden or system file, does not count.
bool stationFilePresent(const QString& path);

// At most maxStationFileBytes of the file; the rest is never read.
QByteArray readStationFile(const QString& path);

// Replaces the file with the given bytes: written completely beside it, on
// disk, then put in its place. On failure the old file stays as it was.
void writeStationFile(const QString& path, const QByteArray& bytes);
