#include "pendingname.h"

#include <QRandomGenerator>
#include <algorithm>

namespace {
const QString pendingMarker = QStringLiteral(".larkspur-");
const QString backupMarker = QStringLiteral(".larkspur-backup-");
constexpr int randomLetters = 6;
// Lower case only: Windows does not tell names apart by case.
constexpr QStringView alphabet = u"abcdefghijklmnopqrstuvwxyz0123456789";

QString randomName(const QString& target, const QString& marker) {
    QString name = target + marker;
    for (int i = 0; i < randomLetters; ++i)
        name += alphabet[QRandomGenerator::global()->bounded(int(alphabet.size()))];
    return name;
}

bool isRandomName(const QString& targetFileName, const QString& marker, const QString& name) {
    const QString head = targetFileName + marker;
    if (name.size() != head.size() + randomLetters || !name.startsWith(head, Qt::CaseInsensitive))
        return false;
    const QStringView letters = QStringView(name).sliced(head.size());
    return std::all_of(letters.begin(), letters.end(),
                       [](QChar letter) { return alphabet.contains(letter); });
}
} // namespace

QString pendingFileName(const QString& target) {
    return randomName(target, pendingMarker);
}

bool isPendingFileName(const QString& targetFileName, const QString& name) {
    return isRandomName(targetFileName, pendingMarker, name);
}

QString backupFileName(const QString& target) {
    return randomName(target, backupMarker);
}

bool isBackupFileName(const QString& targetFileName, const QString& name) {
    return isRandomName(targetFileName, backupMarker, name);
}
