#pragma once

#include <QString>
#include <stdexcept>

// A failure the program cannot go on from: what failed, on which file, and the
// system's reason. The program reports it once and ends.
class Failure : public std::runtime_error {
public:
    Failure(const QString& action, const QString& file, const QString& reason);

    const QString& report() const { return m_report; }

private:
    QString m_report;
};
