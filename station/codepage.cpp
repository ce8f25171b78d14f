#include "codepage.h"

#ifdef Q_OS_WIN
#include <QStringDecoder>
#include <QStringEncoder>

QString decodeCodePage(QByteArrayView bytes) {
    return QStringDecoder(QStringConverter::System).decode(bytes);
}

std::optional<QByteArray> encodeCodePage(QStringView text) {
    QStringEncoder encoder(QStringConverter::System);
    QByteArray bytes = encoder.encode(text);
    // Windows stores a look-alike ("best fit") for some characters it lacks.
    if (encoder.hasError() || decodeCodePage(bytes) != text)
        return std::nullopt;
    return bytes;
}
#else
#include <algorithm>
#include <array>

// Written out rather than asked of Qt, which would load ICU for it: a megabyte
// of memory for 32 characters. Bytes 0x80..0x9F; the five that Windows-1252
// leaves undefined stand for themselves, as in Latin-1.
namespace {
constexpr std::array<char16_t, 32> bytes80To9F = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
constexpr unsigned first = 0x80;
constexpr unsigned afterLast = first + bytes80To9F.size();
} // namespace

QString decodeCodePage(QByteArrayView bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        *out++ = code >= first && code < afterLast ? QChar(bytes80To9F[code - first]) : QChar(code);
    }
    return text;
}

std::optional<QByteArray> encodeCodePage(QStringView text) {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < first || (code >= afterLast && code <= 0xFF)) {
            *out++ = static_cast<char>(code);
            continue;
        }
        const auto found = std::find(bytes80To9F.begin(), bytes80To9F.end(), code);
        if (found == bytes80To9F.end())
            return std::nullopt;
        *out++ = static_cast<char>(first + (found - bytes80To9F.begin()));
    }
    return bytes;
}
#endif
