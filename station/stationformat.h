#pragma once

#include "boxstate.h"
#include "catalogue.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

// The station start file's bytes: two lines, each ended by CR LF, in the
// station's ANSI code page. Line 1 is the database folder followed by the
// database file name, line 2 one digit per catalogue position.

using BoxStates = std::array<BoxState, programCount>;

inline constexpr QStringView databaseSuffix = u"\\pelmora.mdb";
// The reader looks at no more than this, and the writer writes no more. A
// folder as long as the longest Windows path (32,767 characters) makes a file
// of 32,883 bytes; twice that leaves room for any real station, and keeps the
// window and screen readers quick whatever a damaged file holds.
inline constexpr qsizetype maxStationFileBytes = 64 * 1024;

struct StationFields {
    QString field1;
    QString field2;
};

// The station's text, converted from and to the ANSI code page.
QString decodeStationText(const QByteArray& bytes);

// Splits the text into its first two delimited fields. No field 2 gives the
// default of 100 "1"; no field 1 at all (nothing but spaces) gives nullopt.
std::optional<StationFields> readStationFields(QStringView text);

// Field 1 without its last 12 characters, or all of it when it is shorter.
QString folderFromField1(const QString& field1);

// The digit at position 1..100 of field 2; 0 for any other character or none.
int positionValue(QStringView field2, int position);

// The path box's text without its leading and trailing spaces (code 32 only).
QString trimSpaces(QStringView text);

// The whole file for the path box's text and the boxes in catalogue order, or
// nullopt when the folder could not be read back as written: a comma, a
// leading double quote, a line break, a character outside the code page, or
// a length beyond what the reader reads.
std::optional<QByteArray> composeStationFile(QStringView pathBoxText, const BoxStates& states);
