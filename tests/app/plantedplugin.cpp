// A plugin planted where a portable Larkspur must never look for one, with a
// platform plugin's metadata, so that Qt would take it; loaded, it leaves
// the file C:\planted-plugin-was-loaded.
#include <QObject>
#include <windows.h>

class PlantedPlugin : public QObject {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QPA.QPlatformIntegrationFactoryInterface.5.3" FILE
                          "plantedplugin.json")
};

namespace {
const bool loaded = [] {
    CloseHandle(CreateFileW(L"C:\\planted-plugin-was-loaded", GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, 0, nullptr));
    return true;
}();
} // namespace

#include "plantedplugin.moc"
