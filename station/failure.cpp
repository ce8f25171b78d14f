#include "failure.h"

namespace {
QString composeReport(const QString& action, const QString& file, const QString& reason) {
    QString text = action;
    if (!file.isEmpty())
        text += QStringLiteral(" \"%1\"").arg(file);
    if (!reason.isEmpty())
        text += QStringLiteral(": %1").arg(reason);
    return text;
}
} // namespace

Failure::Failure(const QString& action, const QString& file, const QString& reason)
    : std::runtime_error(composeReport(action, file, reason).toStdString())
    , m_report(composeReport(action, file, reason)) {}
