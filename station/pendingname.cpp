#include "pendingname.h"

#include <QRandomGenerator>

namespace {
const QString marker = QStringLiteral(".larkspur-");
constexpr int randomLetters = 6;
// Lower case only: Windows does not tell names apart by case.
constexpr QStringView alphabet = u"abcdefghijklmnopqrstuvwxyz0123456789";
} // namespace

QString pendingFileName(const QString& target) {
    QString name = target + marker;
    for (int i = 0; i < randomLetters; ++i)
        name += alphabet[QRandomGenerator::global()->bounded(int(alphabet.size()))];
    return name;
}

QString pendingFilePattern(const QString& targetFileName) {
    return targetFileName + marker + QString(randomLetters, u'?');
}
