#pragma once

#include "catalogue.h"
#include "stationformat.h"

#include <QWidget>
#include <array>

class QLabel;
class QLineEdit;
class ProgramCheckBox;

// The settings window: where the station's database folder is, and which of
// the suite's programs may run on it. OK saves the station start file and
// ends the program; QUIT and the close box end it without saving.
//
// The class, its controls' object names and its handlers keep the names the
// suite's developers know them by, on purpose: frmLarkspur, txtPath, cmdOk,
// and a handler per control and event, such as Form_Load and cmdOk_Click.
class frmLarkspur : public QWidget {
    Q_OBJECT

public:
    explicit frmLarkspur(const QString& stationFile, QWidget* parent = nullptr);

    // Fills the window from the station start file. False when that failed;
    // the failure has then been reported through failed().
    bool load();
    // Shows the window, its frame included, centred on the screen's
    // available area as far as it fits.
    void showCentred();

    // The check box of catalogue position 1..100.
    ProgramCheckBox* box(int position) const;

signals:
    // A handler failed; nothing after the failing step ran. The program must end.
    void failed(const QString& report);
    // The window was unloaded, by whatever route. The program must end.
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    using Handler = void (frmLarkspur::*)();

    void createControls();
    void setTabChain();
    void connectButtons();
    bool runHandler(Handler handler);

    void Form_Load();
    void Form_Unload();
    void cmdOk_Click();
    void cmdQuit_Click();
    void cmdCheckAll_Click();
    void cmdClearAll_Click();

    void showNoStationFile();
    void setAllBoxes(BoxState state);
    BoxStates boxStates() const;

    QString m_stationFile;
    QLineEdit* m_txtPath = nullptr;
    QLabel* m_lblCurrLoc = nullptr;
    std::array<ProgramCheckBox*, programCount> m_boxes{};
    bool m_unloaded = false;
};
