#include "errorreport.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <cstdio>

namespace {
ErrorReport::Presenter& presenter() {
    static ErrorReport::Presenter instance;
    return instance;
}

void showMessageBox(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), text,
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
} // namespace

void ErrorReport::show(const QString& text) {
    std::fprintf(stderr, "%s\n", qUtf8Printable(text));
    std::fflush(stderr);
    if (presenter())
        presenter()(text);
    else
        showMessageBox(text);
}

void ErrorReport::setPresenter(Presenter newPresenter) {
    presenter() = std::move(newPresenter);
}
