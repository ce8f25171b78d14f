#pragma once

#include <QString>
#include <functional>

// The program's one report of a failure it cannot go on from: a modal message
// box titled "Larkspur" and the same text on stderr.
namespace ErrorReport {

inline constexpr int failureExitCode = 1;

void show(const QString& text);

// Tests put their own presenter in place of the message box so that nothing
// blocks; an empty presenter brings the message box back.
using Presenter = std::function<void(const QString& text)>;
void setPresenter(Presenter presenter);

} // namespace ErrorReport
