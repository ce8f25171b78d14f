#include "codepage.h"

#ifdef Q_OS_WIN
#include <windows.h>

// The system's ANSI code page, asked of Windows itself: Qt's own converter
// for it drops NUL bytes.
QString decodeCodePage(QByteArrayView bytes) {
    // No code page gives more UTF-16 units than it had bytes.
    QString text(bytes.size(), Qt::Uninitialized);
    const int length =
        bytes.isEmpty()
            ? 0
            : MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()),
                                  reinterpret_cast<wchar_t*>(text.data()), int(text.size()));
    text.resize(length);
    return text;
}

std::optional<QByteArray> encodeCodePage(QStringView text) {
    if (text.isEmpty())
        return QByteArray();
    const auto* units = reinterpret_cast<const wchar_t*>(text.utf16());
    const int unitCount = int(text.size());
    // Windows would store a look-alike ("best fit") for a character it lacks;
    // UTF-8 code pages take no such flag, and lack nothing.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL lacking = FALSE;
    BOOL* lackingFlag = utf8 ? nullptr : &lacking;
    const int length =
        WideCharToMultiByte(CP_ACP, flags, units, unitCount, nullptr, 0, nullptr, lackingFlag);
    if (length <= 0 || lacking)
        return std::nullopt;
    QByteArray bytes(length, Qt::Uninitialized);
    WideCharToMultiByte(CP_ACP, flags, units, unitCount, bytes.data(), length, nullptr,
                        lackingFlag);
    // A lone surrogate, say, converts to something that reads back otherwise.
    if (lacking || decodeCodePage(bytes) != text)
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
