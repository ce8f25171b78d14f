#include "frmlarkspur.h"

#include "accessiblerole.h"
#include "controlfactory.h"
#include "failure.h"
#include "larkspur-config.h"
#include "layout.h"
#include "placement.h"
#include "programcheckbox.h"
#include "standardfont.h"
#include "stationfile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <vector>

namespace {
const QString titleCaption = QStringLiteral(LARKSPUR_WINDOW_TITLE);
const QString currentPathPrefix = QStringLiteral("Current Path to DataBase Is ");
const QString noPathCaption = QStringLiteral("Current Path is not defined");
} // namespace

frmLarkspur::frmLarkspur(const QString& stationFile, QWidget* parent)
    : QWidget(parent)
    , m_stationFile(stationFile) {
    setObjectName(QStringLiteral("frmLarkspur"));
    // A screen reader announces a frame with its title; a plain widget reads as a pane.
    useAccessibleRole<frmLarkspur, QAccessible::Window>();
    setWindowTitle(titleCaption);
    setAccessibleName(titleCaption);
    setFont(standardFont());
    resize(clientArea.toPixels().size());
    createControls();
    setTabChain();
    connectButtons();
    m_txtPath->setFocus();
}

void frmLarkspur::createControls() {
    for (const LineEnds& ends : lineEnds)
        createLine(ends, this);
    for (const PlacedControl& control : placedControls)
        createPlacedControl(control, this);
    for (const LabelFont& labelFont : labelFonts)
        applyLabelFont(findChild<QWidget*>(toQString(labelFont.label)), labelFont);
    for (const CatalogueEntry& entry : programCatalogue)
        m_boxes[entry.position - 1] = createProgramBox(entry, this);
    m_txtPath = findChild<QLineEdit*>(QStringLiteral("txtPath"));
    m_lblCurrLoc = findChild<QLabel*>(QStringLiteral("lblCurrLoc"));
}

void frmLarkspur::setTabChain() {
    std::vector<std::pair<int, QWidget*>> chain;
    for (const PlacedControl& control : placedControls) {
        if (control.kind != ControlKind::Label)
            chain.emplace_back(control.tabIndex, findChild<QWidget*>(toQString(control.name)));
    }
    for (ProgramCheckBox* checkBox : m_boxes)
        chain.emplace_back(placedBox(checkBox->objectName().toStdString()).tabIndex, checkBox);
    std::ranges::sort(chain, {}, &std::pair<int, QWidget*>::first);
    for (std::size_t i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1].second, chain[i].second);
}

void frmLarkspur::connectButtons() {
    const std::array<std::pair<QString, Handler>, 4> clickHandlers{{
        {QStringLiteral("cmdOk"), &frmLarkspur::cmdOk_Click},
        {QStringLiteral("cmdQuit"), &frmLarkspur::cmdQuit_Click},
        {QStringLiteral("cmdCheckAll"), &frmLarkspur::cmdCheckAll_Click},
        {QStringLiteral("cmdClearAll"), &frmLarkspur::cmdClearAll_Click},
    }};
    for (const auto& [name, handler] : clickHandlers) {
        connect(findChild<QPushButton*>(name), &QPushButton::clicked, this,
                [this, handler = handler] { runHandler(handler); });
    }
}

// Qt's event loop is not exception-safe: every handler runs through here, and
// a failure becomes the program's one error report.
bool frmLarkspur::runHandler(Handler handler) {
    try {
        (this->*handler)();
        return true;
    } catch (const Failure& failure) {
        emit failed(failure.report());
    } catch (const std::exception& error) {
        emit failed(
            QStringLiteral("Unexpected failure: %1").arg(QString::fromLocal8Bit(error.what())));
    } catch (...) {
        emit failed(QStringLiteral("Unexpected failure"));
    }
    return false;
}

bool frmLarkspur::load() {
    return runHandler(&frmLarkspur::Form_Load);
}

void frmLarkspur::showCentred() {
    ::showCentred(this);
}

ProgramCheckBox* frmLarkspur::box(int position) const {
    return m_boxes.at(position - 1);
}

void frmLarkspur::closeEvent(QCloseEvent* event) {
    event->accept();
    Form_Unload();
}

void frmLarkspur::Form_Load() {
    if (!stationFilePresent(m_stationFile))
        return showNoStationFile();
    const auto fields = readStationFields(decodeStationText(readStationFile(m_stationFile)));
    // An empty file says no more than a missing one; the operator can repair it with OK.
    if (!fields)
        return showNoStationFile();
    for (int position = 1; position <= programCount; ++position) {
        // 3 to 9 name no state: that box keeps its checked state.
        if (const auto state = programFlag(fields->programFlags, position))
            box(position)->setState(*state);
    }
    const QString folder = databaseFolder(fields->databasePath);
    m_lblCurrLoc->setText(currentPathPrefix + folder);
    m_txtPath->setText(folder);
}

void frmLarkspur::showNoStationFile() {
    m_lblCurrLoc->setText(noPathCaption);
    m_txtPath->clear();
}

void frmLarkspur::Form_Unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    emit unloaded();
}

void frmLarkspur::cmdOk_Click() {
    const QString typed = m_txtPath->text();
    const auto bytes = typed.isEmpty() ? std::nullopt : composeStationFile(typed, boxStates());
    if (!bytes) {
        QApplication::beep();
        // An empty box is told by the beep alone; a folder the file cannot
        // give back, by why, where the window shows its state, and to a
        // screen reader with the path box that gets the focus.
        if (!typed.isEmpty()) {
            const QString refusal = folderRefusal(typed);
            m_lblCurrLoc->setText(refusal);
            m_txtPath->setAccessibleDescription(refusal);
        }
        m_txtPath->setFocus();
        return;
    }
    m_lblCurrLoc->setText(currentPathPrefix + typed);
    writeStationFile(m_stationFile, *bytes);
    close();
}

void frmLarkspur::cmdQuit_Click() {
    close();
}

void frmLarkspur::cmdCheckAll_Click() {
    setAllBoxes(BoxState::Checked);
}

void frmLarkspur::cmdClearAll_Click() {
    setAllBoxes(BoxState::Unchecked);
}

void frmLarkspur::setAllBoxes(BoxState state) {
    for (ProgramCheckBox* checkBox : m_boxes)
        checkBox->setState(state);
}

BoxStates frmLarkspur::boxStates() const {
    BoxStates states{};
    std::ranges::transform(m_boxes, states.begin(),
                           [](const ProgramCheckBox* checkBox) { return checkBox->state(); });
    return states;
}
