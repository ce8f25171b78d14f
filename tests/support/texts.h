#pragma once

#include <QByteArray>
#include <QString>

// The system's own texts and bytes, written out once for every test, and
// independently of the program's code, so that a slip there shows.

inline const QString windowTitle = QStringLiteral("Pelmora - Set/Change Path to Database");
inline const QString currentPathPrefix = QStringLiteral("Current Path to DataBase Is ");
inline const QString noPathCaption = QStringLiteral("Current Path is not defined");
inline const QString saveFailure = QStringLiteral("Cannot save the station start file");

// 100 flag digits: the given ones, then the filler.
inline QString flagDigits(const QString& head, QChar filler = u'0') {
    return head + QString(100 - head.size(), filler);
}

// A station start file as the program writes it: the folder and the
// database file name, then the flags, each line ended by CR LF.
inline QByteArray stationFileBytes(const QByteArray& folder, const QByteArray& flags) {
    return folder + "\\pelmora.mdb\r\n" + flags + "\r\n";
}

// What the saving helper (stationsaver) alternates between.
inline const QByteArray oldStation = stationFileBytes("d:\\old", QByteArray(100, '1'));
inline QByteArray newStation(const QByteArray& folder = "e:\\new") {
    return stationFileBytes(folder, QByteArray(100, '0'));
}

// A folder of each station's own script, in its code page's bytes, and one
// with a character that the page lacks (no bytes). In code page 932 the second
// byte of \u8868 is 0x5C, a backslash's, which a reader of bytes would split at.
struct CodePageFolder {
    const char* tag;
    int codePage;
    QString text;
    QByteArray bytes;
};
inline const CodePageFolder codePageFolders[] = {
    {"1252", 1252, QStringLiteral("\\\\server\\caf\u00e9 \u20ac"), "\\\\server\\caf\xe9 \x80"},
    {"1252, Cyrillic", 1252, QStringLiteral("d:\\\u0436"), {}},
    {"1251", 1251, QStringLiteral("d:\\\u0414\u0430\u043d\u043d\u044b\u0435"),
     "d:\\\xc4\xe0\xed\xed\xfb\xe5"},
    {"1251, accent", 1251, QStringLiteral("d:\\caf\u00e9"), {}},
    {"932", 932, QStringLiteral("d:\\\u8868\\\u8868\u793a"), "d:\\\x95\x5c\\\x95\x5c\x8e\xa6"},
    {"932, accent", 932, QStringLiteral("d:\\caf\u00e9"), {}},
};
