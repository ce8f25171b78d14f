#pragma once

#include "files.h"
#include "frmlarkspur.h"
#include "programcheckbox.h"
#include "stationfile.h"
#include "texts.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// A settings window on a drive of its own, with its signals recorded.
struct WindowUnderTest {
    QTemporaryDir drive;
    QString stationFile = stationFilePath(drive.path());
    std::unique_ptr<frmLarkspur> window;
    std::unique_ptr<QSignalSpy> unloaded;
    std::unique_ptr<QSignalSpy> failed;

    WindowUnderTest() { QDir().mkpath(drive.filePath("c/pelmora")); }

    QByteArray savedBytes() const { return readFile(stationFile); }

    frmLarkspur& create() {
        window = std::make_unique<frmLarkspur>(stationFile);
        unloaded = std::make_unique<QSignalSpy>(window.get(), &frmLarkspur::unloaded);
        failed = std::make_unique<QSignalSpy>(window.get(), &frmLarkspur::failed);
        return *window;
    }

    bool loadAndShow() {
        create();
        if (!window->load())
            return false;
        window->showCentred();
        return QTest::qWaitForWindowActive(window.get());
    }

    template <typename T> T* find(const QString& name) const { return window->findChild<T*>(name); }
    QLineEdit* txtPath() const { return find<QLineEdit>("txtPath"); }
    QLabel* lblCurrLoc() const { return find<QLabel>("lblCurrLoc"); }
    void click(const QString& button) const {
        QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton);
    }

    // The 100 box states in catalogue order, as the file's digits.
    QString values() const {
        QString digits;
        for (int position = 1; position <= programCount; ++position)
            digits += flagDigit(window->box(position)->state());
        return digits;
    }

    void setValues(const QString& digits) const {
        for (int position = 1; position <= programCount; ++position)
            window->box(position)->setState(programFlag(digits, position).value());
    }
};
