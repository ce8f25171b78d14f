// libFuzzer target: any bytes as the station start file, loaded from disk into
// a real (offscreen) settings window. The reading and writing rules, and that
// a saved file reads back, are tst_stationformat's; here what must hold
// whatever the bytes: no crash, hang or undefined behaviour, the window opens
// or says why, and what it shows makes sense.
#include "frmlarkspur.h"
#include "programcheckbox.h"
#include "stationfile.h"
#include "stationformat.h"
#include "texts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// A broken promise is a crash, so that libFuzzer keeps the input that broke it.
void require(bool holds, const char* promise) {
    if (holds)
        return;
    std::fprintf(stderr, "Broken: %s\n", promise);
    std::abort();
}

QString stationFile;

void putStationFile(const uint8_t* data, size_t size) {
    QFile file(stationFile);
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the input can be stored");
    const auto length = static_cast<qint64>(size);
    require(file.write(reinterpret_cast<const char*>(data), length) == length,
            "the input is stored whole");
}

// The window shows no path, every box checked; or the path box holds a
// folder that stands in the file, and the label names it.
void requireShownSensibly(const frmLarkspur& window, const QString& fileText) {
    const QString path = window.findChild<QLineEdit*>("txtPath")->text();
    const QString label = window.findChild<QLabel*>("lblCurrLoc")->text();
    if (label == noPathCaption) {
        require(path.isEmpty(), "no path shown, none in the path box");
        for (int position = 1; position <= programCount; ++position)
            require(window.box(position)->state() == BoxState::Checked,
                    "without a path every box stays checked");
        return;
    }
    require(label == currentPathPrefix + path, "the label shows the path box's folder");
    require(fileText.contains(path), "the folder shown stands in the file");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication application(*argc, *argv);
    static QTemporaryDir drive;
    require(drive.isValid() && QDir().mkpath(drive.filePath("c/pelmora")), "a scratch drive");
    stationFile = stationFilePath(drive.path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    putStationFile(data, size);
    frmLarkspur window(stationFile);
    int reports = 0;
    QObject::connect(&window, &frmLarkspur::failed, [&reports] { ++reports; });
    const bool opens = window.load();
    require(opens != (reports == 1) && reports <= 1,
            "the window opens or the error is reported, never both or neither");
    if (!opens)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data),
                           static_cast<qsizetype>(std::min<size_t>(size, maxStationFileBytes)));
    requireShownSensibly(window, decodeStationText(bytes));
    return 0;
}
