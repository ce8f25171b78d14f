#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// The station's ANSI code page: the system's own on Windows, elsewhere
// Windows-1252, the code page of an English (United States) Windows station.

QString decodeCodePage(QByteArrayView bytes);

// Nothing when a character has no byte of its own in the code page.
std::optional<QByteArray> encodeCodePage(QStringView text);
