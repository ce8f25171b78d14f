#pragma once

#include <QDateTime>
#include <QDir>
#include <QFile>

// Files as tests put them down and read them back.

// A file last written the given number of seconds ago. Callers check the
// result: QVERIFY(writeFile(...)).
[[nodiscard]] inline bool writeFile(const QString& path, const QByteArray& content,
                                    int ageSeconds = 0) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.flush())
        return false;
    return ageSeconds == 0 || file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-ageSeconds),
                                               QFileDevice::FileModificationTime);
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

// Everything in a folder, hidden and system files included.
inline QStringList namesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden |
                                  QDir::System);
}
