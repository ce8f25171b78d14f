#include "stationformat.h"

#include "codepage.h"

#include <QStringBuilder>
#include <algorithm>

namespace {

constexpr QChar quote = u'"';
constexpr QChar comma = u',';
constexpr QChar space = u' ';
constexpr QStringView lineEnd = u"\r\n";
const QString defaultFlags(programCount, u'1');

bool isLineBreak(QChar c) {
    return c == u'\r' || c == u'\n';
}

// Reads delimited fields the way the rest of the suite writes and reads them.
// Where the rules leave a case open, the most lenient reading is taken: spaces
// before a field and at the end of an unquoted field are dropped; a lone CR or
// LF ends a line like CR LF; a quoted field without its closing quote ends at
// the line end; text between a closing quote and the next comma or line end
// is skipped.
class FieldReader {
public:
    explicit FieldReader(QStringView text)
        : m_text(text) {}

    std::optional<QString> next() {
        while (m_pos < m_text.size() && m_text[m_pos] == space)
            ++m_pos;
        if (m_pos >= m_text.size())
            return std::nullopt;
        QString value = m_text[m_pos] == quote ? readQuoted() : readUnquoted();
        skipDelimiter();
        return value;
    }

private:
    qsizetype findFrom(qsizetype from, auto isEnd) const {
        const auto it = std::find_if(m_text.begin() + from, m_text.end(), isEnd);
        return it - m_text.begin();
    }

    QString readQuoted() {
        const qsizetype start = m_pos + 1;
        const qsizetype end = findFrom(start, [](QChar c) { return c == quote || isLineBreak(c); });
        m_pos = end;
        if (m_pos < m_text.size() && m_text[m_pos] == quote)
            m_pos = findFrom(m_pos + 1, [](QChar c) { return c == comma || isLineBreak(c); });
        return m_text.sliced(start, end - start).toString();
    }

    QString readUnquoted() {
        const qsizetype start = m_pos;
        m_pos = findFrom(start, [](QChar c) { return c == comma || isLineBreak(c); });
        QStringView value = m_text.sliced(start, m_pos - start);
        while (value.endsWith(space))
            value.chop(1);
        return value.toString();
    }

    void skipDelimiter() {
        if (m_pos >= m_text.size())
            return;
        const QChar delimiter = m_text[m_pos++];
        if (delimiter == u'\r' && m_pos < m_text.size() && m_text[m_pos] == u'\n')
            ++m_pos;
    }

    QStringView m_text;
    qsizetype m_pos = 0;
};

QString flagDigits(const BoxStates& states) {
    QString digits;
    digits.reserve(programCount);
    for (const BoxState state : states)
        digits += flagDigit(state);
    return digits;
}

// What the file adds to the folder, a byte a character: the database file's
// name, the flags and two line ends.
constexpr qsizetype fileBytesBesideFolder =
    databaseSuffix.size() + programCount + 2 * lineEnd.size();

} // namespace

QString decodeStationText(const QByteArray& bytes) {
    return decodeCodePage(bytes);
}

std::optional<StationFields> readStationFields(QStringView text) {
    FieldReader reader(text);
    std::optional<QString> databasePath = reader.next();
    if (!databasePath)
        return std::nullopt;
    return StationFields{*databasePath, reader.next().value_or(defaultFlags)};
}

QString databaseFolder(const QString& databasePath) {
    if (databasePath.size() < databaseSuffix.size())
        return databasePath;
    return databasePath.chopped(databaseSuffix.size());
}

std::optional<BoxState> programFlag(QStringView programFlags, int position) {
    const QChar flag =
        position >= 1 && position <= programFlags.size() ? programFlags[position - 1] : QChar(u'0');
    switch (flag.unicode()) {
    case u'0':
        return BoxState::Unchecked;
    case u'1':
        return BoxState::Checked;
    case u'2':
        return BoxState::Grayed;
    default:
        if (flag >= u'3' && flag <= u'9')
            return std::nullopt;
        return BoxState::Unchecked;
    }
}

QChar flagDigit(BoxState state) {
    return QChar(u'0' + static_cast<int>(state));
}

QString trimSpaces(QStringView text) {
    while (text.startsWith(space))
        text = text.sliced(1);
    while (text.endsWith(space))
        text.chop(1);
    return text.toString();
}

QString folderRefusal(QStringView pathBoxText) {
    const QString folder = trimSpaces(pathBoxText);
    if (folder.contains(comma))
        return QStringLiteral("Not saved: the suite would read this folder only up to its comma");
    if (folder.startsWith(quote))
        return QStringLiteral("Not saved: the suite would read this folder without its quotes");
    if (folder.contains(u'\r') || folder.contains(u'\n'))
        return QStringLiteral("Not saved: a folder cannot hold a line break");
    const auto bytes = encodeCodePage(folder);
    for (qsizetype at = 0; !bytes && at < folder.size();) {
        const qsizetype length = folder[at].isHighSurrogate() && at + 1 < folder.size() ? 2 : 1;
        const QStringView character = QStringView(folder).sliced(at, length);
        if (!encodeCodePage(character))
            return QStringLiteral("Not saved: this station's code page has no \"%1\"")
                .arg(character);
        at += length;
    }
    if (!bytes)
        return QStringLiteral("Not saved: this station's code page cannot hold this folder");
    if (bytes->size() + fileBytesBesideFolder > maxStationFileBytes)
        return QStringLiteral("Not saved: this folder is too long for the station start file");
    return {};
}

std::optional<QByteArray> composeStationFile(QStringView pathBoxText, const BoxStates& states) {
    if (!folderRefusal(pathBoxText).isEmpty())
        return std::nullopt;
    const QString text =
        trimSpaces(pathBoxText) % databaseSuffix % lineEnd % flagDigits(states) % lineEnd;
    return encodeCodePage(text);
}
