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
// of at most 65,650 bytes, in a code page of two bytes to a character (932,
// say); twice 64 KiB reads every such file whole, and keeps the window and
// screen readers quick whatever a damaged file holds.
inline constexpr qsizetype maxStationFileBytes = 128 * 1024;

// The file's two fields: line 1 and line 2.
struct StationFields {
    QString databasePath;
    QString programFlags;
};

// The station's text, converted from and to the ANSI code page.
QString decodeStationText(const QByteArray& bytes);

// Splits the text into its first two delimited fields. No program flags give
// the default of 100 "1"; no database path at all (nothing but spaces) gives
// nullopt.
std::optional<StationFields> readStationFields(QStringView text);

// The database path without its last 12 characters, or all of it when it is shorter.
QString databaseFolder(const QString& databasePath);

// The state that the flag at position 1..100 names: its digit 0, 1 or 2;
// none for the digits 3 to 9, which a box keeps its state for; unchecked for
// any other character, and past the flags' end.
std::optional<BoxState> programFlag(QStringView programFlags, int position);

// The digit that stores a state.
QChar flagDigit(BoxState state);

// The path box's text without its leading and trailing spaces (code 32 only).
QString trimSpaces(QStringView text);

// Why the folder in the path box could not be read back as written, in words
// for the operator: a comma, a leading double quote, a line break, a
// character outside the code page, or a length beyond what the reader
// reads. Empty when it can be saved.
QString folderRefusal(QStringView pathBoxText);

// The whole file for the path box's text and the boxes in catalogue order, or
// nullopt when folderRefusal() refuses the folder.
std::optional<QByteArray> composeStationFile(QStringView pathBoxText, const BoxStates& states);
