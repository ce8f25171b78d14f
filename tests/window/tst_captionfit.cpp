#include "layout.h"
#include "windowundertest.h"

#include <QStyle>
#include <QStyleOptionButton>

// Every caption of the window fits the room that its control's style gives
// the text, in the font the control shows it in: nothing is cut off.
namespace {

// The room for a label's text: inside its frame and margin, and past its
// indent on the side it is aligned to.
QRectF labelRoom(const QLabel* label) {
    QRectF room =
        QRectF(label->contentsRect())
            .adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
    int indent = label->indent();
    if (indent < 0)
        indent =
            label->frameWidth() > 0 ? QFontMetrics(label->font()).horizontalAdvance('x') / 2 : 0;
    if (label->alignment() & Qt::AlignLeft)
        room.setLeft(room.left() + indent);
    if (label->alignment() & Qt::AlignRight)
        room.setRight(room.right() - indent);
    return room;
}

QStyleOptionButton buttonOption(const QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return option;
}

QRectF captionRoom(const QWidget* control) {
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return labelRoom(label);
    const QStyleOptionButton option = buttonOption(static_cast<const QAbstractButton*>(control));
    const auto element = qobject_cast<const QCheckBox*>(control) ? QStyle::SE_CheckBoxContents
                                                                 : QStyle::SE_PushButtonContents;
    return control->style()->subElementRect(element, &option, control);
}

QString captionOf(const QWidget* control) {
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    return static_cast<const QAbstractButton*>(control)->text();
}

} // namespace

class TestCaptionFit : public QObject {
    Q_OBJECT

    WindowUnderTest m_t;

private slots:
    // Loaded without a station file: the current-location label then holds
    // its longest built-in caption.
    void initTestCase() { QVERIFY(m_t.loadAndShow()); }

    void captionFits_data() {
        QTest::addColumn<QString>("control");
        for (const PlacedControl& control : placedControls) {
            if (control.kind != ControlKind::TextBox)
                QTest::newRow(control.name.data()) << toQString(control.name);
        }
        for (const PlacedBox& box : placedBoxes)
            QTest::newRow(box.name.data()) << toQString(box.name);
    }

    void captionFits() {
        QFETCH(QString, control);
        const QWidget* widget = m_t.find<QWidget>(control);
        QVERIFY(widget);
        const QRectF room = captionRoom(widget);
        const QFontMetricsF metrics(widget->font(), widget);
        const double widthOver = metrics.horizontalAdvance(captionOf(widget)) - room.width();
        const double heightOver = metrics.height() - room.height();
        QStringList over;
        if (widthOver > 0)
            over << QStringLiteral("%1 px too wide").arg(widthOver);
        if (heightOver > 0)
            over << QStringLiteral("%1 px too high").arg(heightOver);
        QVERIFY2(over.isEmpty(), qPrintable(over.join(", ")));
    }

    void pathBoxShowsAWholeLine() {
        QLineEdit* box = m_t.txtPath();
        const QRect room = box->contentsRect().marginsRemoved(box->textMargins());
        QVERIFY(QFontMetricsF(box->font(), box).height() <= room.height());
    }

    // The squares of the layout's own desktop, drawn whole in every box.
    void checkBoxSquaresAreWhole() {
        for (const CatalogueEntry& entry : programCatalogue) {
            const ProgramCheckBox* box = m_t.window->box(entry.position);
            const QStyleOptionButton option = buttonOption(box);
            const QRect square =
                box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
            QVERIFY2(square.size() == QSize(13, 13), entry.boxName.data());
            QVERIFY2(box->rect().contains(square), entry.boxName.data());
        }
    }
};

QTEST_MAIN(TestCaptionFit)
#include "tst_captionfit.moc"
