#include "frmlarkspur.h"

#include "accessiblerole.h"
#include "failure.h"
#include "layout.h"
#include "linecontrol.h"
#include "programcheckbox.h"
#include "standardfont.h"
#include "stationfile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <limits>
#include <vector>

namespace {

const QString titleCaption = QStringLiteral("Pelmora - Set/Change Path to Database");
const QString pathLabelCaption = QStringLiteral("Path To DataBase");
const QString currentPathPrefix = QStringLiteral("Current Path to DataBase Is ");
const QString noPathCaption = QStringLiteral("Current Path is not defined");

Qt::Alignment toQt(Alignment alignment) {
    switch (alignment) {
    case Alignment::Left:
        return Qt::AlignLeft | Qt::AlignTop;
    case Alignment::Centre:
        return Qt::AlignHCenter | Qt::AlignTop;
    case Alignment::Right:
        return Qt::AlignRight | Qt::AlignTop;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

QPoint toPixels(int xTwips, int yTwips) {
    return {xTwips / twipsPerPixel, yTwips / twipsPerPixel};
}

QWidget* createLabel(const PlacedControl& control, QWidget* parent) {
    auto* label = new QLabel(toQString(control.caption), parent);
    // Paths come from files and the operator: never read them as markup.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(toQt(control.alignment));
    if (control.framed)
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
    return label;
}

QWidget* createTextBox(const PlacedControl& control, QWidget* parent) {
    auto* textBox = new QLineEdit(toQString(control.caption), parent);
    textBox->setMaxLength(std::numeric_limits<int>::max());
    textBox->setAccessibleName(pathLabelCaption);
    return textBox;
}

QWidget* createButton(const PlacedControl& control, QWidget* parent) {
    auto* button = new QPushButton(toQString(control.caption), parent);
    // Enter and Escape must press nothing.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QWidget* createControl(const PlacedControl& control, QWidget* parent) {
    switch (control.kind) {
    case ControlKind::Label:
        return createLabel(control, parent);
    case ControlKind::TextBox:
        return createTextBox(control, parent);
    case ControlKind::Button:
        return createButton(control, parent);
    }
    return nullptr;
}

void placeControl(QWidget* control, std::string_view name, std::string_view caption,
                  const TwipsRect& rect) {
    control->setObjectName(toQString(name));
    control->setGeometry(rect.toPixels());
    if (!caption.empty() && control->accessibleName().isEmpty())
        control->setAccessibleName(toQString(caption));
}

void applyFont(QWidget* label, const LabelFont& labelFont) {
    QFont font = layoutFont(toQString(labelFont.face), labelFont.points);
    font.setBold(labelFont.bold);
    font.setItalic(labelFont.italic);
    label->setFont(font);
}

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
    createLines();
    createControls();
    createBoxes();
    setTabChain();
    connectButtons();
    m_txtPath->setFocus();
}

void frmLarkspur::createLines() {
    for (const LineEnds& ends : lineEnds) {
        auto* line = new LineControl(toPixels(ends.x1, ends.y1), toPixels(ends.x2, ends.y2),
                                     lineWidthPixels, this);
        line->setObjectName(toQString(ends.name));
    }
}

void frmLarkspur::createControls() {
    for (const PlacedControl& control : placedControls)
        placeControl(createControl(control, this), control.name, control.caption, control.rect);
    for (const LabelFont& labelFont : labelFonts)
        applyFont(findChild<QWidget*>(toQString(labelFont.label)), labelFont);
    m_txtPath = findChild<QLineEdit*>(QStringLiteral("txtPath"));
    m_lblCurrLoc = findChild<QLabel*>(QStringLiteral("lblCurrLoc"));
}

void frmLarkspur::createBoxes() {
    for (const CatalogueEntry& entry : programCatalogue) {
        auto* checkBox = new ProgramCheckBox(toQString(entry.caption), this);
        placeControl(checkBox, entry.boxName, entry.caption, placedBox(entry.boxName).rect);
        checkBox->setValue(boxValue(BoxState::Checked));
        m_boxes[entry.position - 1] = checkBox;
    }
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

// Windows knows the frame before the window shows; an X window manager adds
// its own as it maps the window, and the window is centred again when it is
// first exposed in it.
void frmLarkspur::showCentred() {
    create();
    windowHandle()->installEventFilter(this);
    m_centredFrame = windowHandle()->frameMargins();
    move(centredFramePosition(m_centredFrame)); // a window's position is its frame's
    m_centring = true;
    show();
}

QPoint frmLarkspur::centredFramePosition(const QMargins& frame) const {
    QRect outer = QRect(QPoint(), size()).marginsAdded(frame);
    outer.moveCenter(screen()->availableGeometry().center());
    return outer.topLeft();
}

bool frmLarkspur::eventFilter(QObject* watched, QEvent* event) {
    if (m_centring && watched == windowHandle() && event->type() == QEvent::Expose) {
        const QMargins frame = windowHandle()->frameMargins();
        if (!frame.isNull()) {
            m_centring = false;
            // Through the window itself: the widget may not know the frame yet.
            if (frame != m_centredFrame)
                windowHandle()->setFramePosition(centredFramePosition(frame));
        }
    }
    return QWidget::eventFilter(watched, event);
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
        try {
            box(position)->setValue(positionValue(fields->field2, position));
        } catch (const InvalidBoxValue&) {
            // 3 to 9 name no state: that box keeps its checked state, the others still load.
        }
    }
    const QString folder = folderFromField1(fields->field1);
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
    setAllBoxes(boxValue(BoxState::Checked));
}

void frmLarkspur::cmdClearAll_Click() {
    setAllBoxes(boxValue(BoxState::Unchecked));
}

void frmLarkspur::setAllBoxes(int value) {
    for (ProgramCheckBox* checkBox : m_boxes)
        checkBox->setValue(value);
}

BoxStates frmLarkspur::boxStates() const {
    BoxStates states{};
    std::ranges::transform(m_boxes, states.begin(), [](const ProgramCheckBox* checkBox) {
        return *boxStateFromValue(checkBox->value());
    });
    return states;
}
