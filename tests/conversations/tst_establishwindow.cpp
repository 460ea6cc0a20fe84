#include "conversations/conversationdescription.h"
#include "conversations/windows/establishwindow.h"
#include "device/catalogue.h"
#include "support/scriptedprompt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <memory>

Q_DECLARE_METATYPE(telviox::ConvRecord)
Q_DECLARE_METATYPE(telviox::LinkRecord)

using namespace telviox;
using telviox::test::ScriptedPrompt;

namespace {

const QString CrLf = QStringLiteral("\r\n");

// The conversation's setting list entry as the setting dialog stores it.
ConvRecord configured(int listIndex, qint32 baud = 9600, qint16 address = 1)
{
    ConvRecord record;
    record.InUse = 1;
    record.TypeCode = catalogue::typeCodeOfListIndex(listIndex);
    record.BaudRate = baud;
    record.Address = address;
    record.Checksum = 1;
    record.Channels = 1;
    record.Slot = 3;
    return record;
}

QString fields(const ConvRecord &r)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11")
        .arg(r.InUse)
        .arg(r.TypeCode)
        .arg(r.BaudRate)
        .arg(r.Address)
        .arg(r.Checksum)
        .arg(r.Channels)
        .arg(r.LinkActive)
        .arg(r.IoType)
        .arg(r.OutData)
        .arg(double(r.OutValue))
        .arg(r.Slot);
}

// Everything the window may touch, as one text, to see that nothing changed.
QString snapshot(const SharedState &state)
{
    QString text = QStringLiteral("com %1 cur %2\n").arg(state.ComPort).arg(state.CurConv);
    for (const ConvRecord &r : state.Conv)
        text += fields(r) + QLatin1Char('\n');
    for (const LinkRecord &l : state.Link)
        text += QStringLiteral("%1|%2|%3|%4\n").arg(l.Service, l.Topic, l.Item).arg(l.Linked);
    return text;
}

} // namespace

class TestEstablishWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlsCarryTheirNamesAndTexts();
    void loadResetsEditingAndLinks();
    void comComboShowsThePortAndChangesNothing();
    void scrollBarWritesTheIntervalEntry();
    void leftReleaseClearsOrAsksForTheDialog();
    void rightClickTogglesTheDescription();
    void clicksOnTheDescriptionOrBackgroundHideIt();
    void keyboardAndCodeChangeOnlyTheTick();

    void descriptionHead();
    void description_data();
    void description();

private:
    QCheckBox *box(int index) const
    {
        return m_window->findChild<QCheckBox *>(QStringLiteral("Check1(%1)").arg(index));
    }
    QPlainTextEdit *text1() const { return m_window->findChild<QPlainTextEdit *>("Text1"); }
    void click(int index, Qt::MouseButton button) { QTest::mouseClick(box(index), button); }
    QRect twips(int left, int top, int width, int height) const
    {
        return {m_window->twipsToPixels(left), m_window->twipsToPixels(top),
                m_window->twipsToPixels(width), m_window->twipsToPixels(height)};
    }

    SharedState m_state;
    ScriptedPrompt m_prompt;
    std::unique_ptr<EstablishWindow> m_window;
};

void TestEstablishWindow::init()
{
    m_state = SharedState{};
    m_prompt.reset();
    m_window = std::make_unique<EstablishWindow>(m_state, m_prompt);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestEstablishWindow::cleanup()
{
    m_window.reset();
    QVERIFY2(m_prompt.problems().isEmpty(), qPrintable(m_prompt.problems().join('\n')));
}

void TestEstablishWindow::controlsCarryTheirNamesAndTexts()
{
    QCOMPARE(m_window->objectName(), QStringLiteral("Form1"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Establish Conversation"));

    const auto frames = m_window->findChildren<QGroupBox *>();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames.first()->title(), QStringLiteral("DDE Server Conversations"));
    QCOMPARE(frames.first()->findChildren<QCheckBox *>().size(), ConvCount);

    // Four columns of eight, each caption whole: no column covers the next.
    for (int n = 0; n < ConvCount; ++n) {
        QCheckBox *b = box(n);
        QVERIFY2(b, qPrintable(QStringLiteral("Check1(%1)").arg(n)));
        QCOMPARE(b->text(), QStringLiteral(" Conv %1").arg(n));
        QCOMPARE(b->x(), box(n / 8 * 8)->x());
        QCOMPARE(b->y(), box(n % 8)->y());
        QVERIFY(b->width() >= b->sizeHint().width());
        if (n % 8 != 0)
            QVERIFY(b->y() > box(n - 1)->y());
        if (n >= 8)
            QVERIFY(b->x() > box(n - 8)->geometry().right());
    }

    auto *combo = m_window->findChild<QComboBox *>("form1comCombo");
    QVERIFY(combo);
    QCOMPARE(combo->count(), 255);
    QCOMPARE(combo->itemText(0), QStringLiteral("COM1"));
    QCOMPARE(combo->itemText(254), QStringLiteral("COM255"));

    auto *scroll = m_window->findChild<QScrollBar *>("HScroll1");
    QVERIFY(scroll);
    QCOMPARE(scroll->orientation(), Qt::Horizontal);
    QCOMPARE(QList<int>({scroll->minimum(), scroll->maximum(), scroll->singleStep(),
                         scroll->pageStep(), scroll->value()}),
             QList<int>({50, 10000, 50, 500, 1000}));
    QStringList labels;
    for (const QLabel *label : m_window->findChildren<QLabel *>())
        labels << label->text();
    for (const char *text : {"COM Port:", "Timer Interval: 1000 mSec", "50 mSec", "10 Sec"})
        QVERIFY2(labels.contains(QLatin1String(text)), text);

    QVERIFY(text1());
    QVERIFY(text1()->isReadOnly());
    QVERIFY(text1()->isHidden());
    auto *exit = m_window->findChild<QPushButton *>("form1exitCommand");
    QVERIFY(exit);
    QCOMPARE(exit->text(), QStringLiteral("E&xit"));
    QSignalSpy exitRequested(m_window.get(), &EstablishWindow::exitRequested);
    QTest::mouseClick(exit, Qt::LeftButton);
    QCOMPARE(exitRequested.count(), 1); // ending is the main window's question
}

void TestEstablishWindow::loadResetsEditingAndLinks()
{
    m_window.reset();
    m_state.ComPort = 7;
    m_state.CurConv = 12;
    m_state.TickParity = 1;
    m_state.OpenBaud = 19200;
    for (LinkRecord &link : m_state.Link) {
        link.Service = QStringLiteral("srv");
        link.Linked = 2;
    }
    m_state.Link[IntervalEntry].Linked = 700;

    m_window = std::make_unique<EstablishWindow>(m_state, m_prompt);
    QCOMPARE(m_state.CurConv, qint16(0));
    QCOMPARE(m_state.TickParity, quint8(0));
    QCOMPARE(m_state.OpenBaud, 0);
    for (int n = 0; n < ConvCount; ++n) {
        QCOMPARE(m_state.Link[std::size_t(n)].Linked, qint16(0));
        QCOMPARE(m_state.Link[std::size_t(n)].Service, QStringLiteral("srv"));
    }
    // The settings entry is the main window's: loading the window leaves it.
    QCOMPARE(m_state.Link[IntervalEntry].Linked, qint16(700));
    QCOMPARE(m_window->findChild<QComboBox *>("form1comCombo")->currentText(),
             QStringLiteral("COM7"));
}

void TestEstablishWindow::comComboShowsThePortAndChangesNothing()
{
    auto *combo = m_window->findChild<QComboBox *>("form1comCombo");
    QCOMPARE(combo->currentIndex(), m_state.ComPort - 1);

    m_state.Conv[4] = configured(0);
    m_window->setChecked(4, true);
    const QString before = snapshot(m_state);
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(combo->currentText(), QStringLiteral("COM3"));
    QCOMPARE(snapshot(m_state), before);
    QVERIFY(m_window->isChecked(4));

    m_window->selectComPort(255);
    QCOMPARE(combo->currentText(), QStringLiteral("COM255"));
    m_window->selectComPort(0); // no such port: the selection stays
    QCOMPARE(combo->currentText(), QStringLiteral("COM255"));
    QCOMPARE(snapshot(m_state), before);
}

void TestEstablishWindow::scrollBarWritesTheIntervalEntry()
{
    auto *scroll = m_window->findChild<QScrollBar *>("HScroll1");
    auto *label = m_window->findChild<QLabel *>("Label1");
    QVERIFY(label);

    scroll->triggerAction(QAbstractSlider::SliderToMinimum);
    QCOMPARE(label->text(), QStringLiteral("Timer Interval: 50 mSec"));
    QCOMPARE(m_state.Link[IntervalEntry].Linked, qint16(50));

    scroll->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(m_state.Link[IntervalEntry].Linked, qint16(550));
    scroll->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(label->text(), QStringLiteral("Timer Interval: 600 mSec"));

    // Through the view, as loading a file sets it.
    EstablishView &view = *m_window;
    view.setIntervalValue(10000);
    QCOMPARE(label->text(), QStringLiteral("Timer Interval: 10000 mSec"));
    QCOMPARE(m_state.Link[IntervalEntry].Linked, qint16(10000));
    QCOMPARE(m_window->intervalValue(), 10000);
}

void TestEstablishWindow::leftReleaseClearsOrAsksForTheDialog()
{
    QSignalSpy dialog(m_window.get(), &EstablishWindow::settingDialogRequested);
    ConvRecord record = configured(7);
    record.OutValue = 4.5f;
    record.IoType = 2;
    record.OutData = 0x55;
    m_state.Conv[3] = record;
    m_window->setChecked(3, true);

    // Clearing empties the conversation at once and keeps its other fields.
    click(3, Qt::LeftButton);
    QVERIFY(!m_window->isChecked(3));
    QCOMPARE(m_state.CurConv, qint16(3));
    QCOMPARE(m_state.Conv[3].InUse, qint16(0));
    QCOMPARE(m_state.Conv[3].TypeCode, 0);
    record.InUse = 0;
    record.TypeCode = 0;
    QCOMPARE(fields(m_state.Conv[3]), fields(record));
    QCOMPARE(dialog.count(), 0);

    // Ticking again asks for the dialog of that conversation, which starts
    // from an empty type code.
    click(3, Qt::LeftButton);
    QVERIFY(m_window->isChecked(3));
    QCOMPARE(dialog.count(), 1);
    QCOMPARE(dialog.first().first().toInt(), 3);
    QCOMPARE(m_state.Conv[3].TypeCode, 0);

    // Another box: CurConv follows the last release.
    click(31, Qt::LeftButton);
    QCOMPARE(dialog.count(), 2);
    QCOMPARE(dialog.last().first().toInt(), 31);
    QCOMPARE(m_state.CurConv, qint16(31));

    // A middle button release neither clears nor asks.
    m_state.Conv[31] = configured(0);
    click(31, Qt::MiddleButton);
    QVERIFY(m_window->isChecked(31));
    QCOMPARE(m_state.Conv[31].InUse, qint16(1));
    QCOMPARE(dialog.count(), 2);
}

void TestEstablishWindow::rightClickTogglesTheDescription()
{
    QSignalSpy dialog(m_window.get(), &EstablishWindow::settingDialogRequested);
    m_state.Conv[10] = configured(0, 19200, 0x1F);
    m_window->setChecked(10, true);

    click(10, Qt::RightButton);
    QVERIFY(m_window->isChecked(10)); // a right click does not toggle the box
    QVERIFY(m_window->descriptionVisible());
    QCOMPARE(m_state.CurConv, qint16(10));
    QCOMPARE(
        text1()->toPlainText(),
        QStringLiteral("Module Type:2026\nBaud Rate:19200\nModule Address:1F[h]\nAnalog Input\n"));
    // Column 1, row 2: 1400 and 1850 twips; 3000 by 2000 twips.
    QCOMPARE(text1()->geometry(), twips(1400, 1850, 3000, 2000));

    click(10, Qt::RightButton);
    QVERIFY(!m_window->descriptionVisible());

    click(10, Qt::RightButton);
    QVERIFY(m_window->descriptionVisible());
    // A clear box hides it and shows nothing; the conversation stays.
    m_state.Conv[11] = configured(0);
    click(11, Qt::RightButton);
    QVERIFY(!m_window->descriptionVisible());
    QCOMPARE(m_state.Conv[11].InUse, qint16(1));
    QCOMPARE(m_state.CurConv, qint16(11));

    // The toggle is shared by all boxes: it stood at 1, so this hides.
    m_state.Conv[31] = configured(23);
    m_window->setChecked(31, true);
    click(31, Qt::RightButton);
    QVERIFY(!m_window->descriptionVisible());
    click(31, Qt::RightButton);
    QVERIFY(m_window->descriptionVisible());
    QCOMPARE(text1()->geometry(), twips(3400, 4250, 3000, 2000)); // column 3, row 7
    QVERIFY(text1()->toPlainText().endsWith(QStringLiteral("Channel Selection:1[h]\n")));
    QCOMPARE(dialog.count(), 0);
}

void TestEstablishWindow::clicksOnTheDescriptionOrBackgroundHideIt()
{
    m_state.Conv[0] = configured(0);
    m_window->setChecked(0, true);

    click(0, Qt::RightButton);
    QVERIFY(m_window->descriptionVisible());
    QTest::mouseClick(text1()->viewport(), Qt::LeftButton);
    QVERIFY(!m_window->descriptionVisible());

    click(0, Qt::RightButton);
    click(0, Qt::RightButton);
    QVERIFY(m_window->descriptionVisible());
    // The background, below the exit button.
    QTest::mouseClick(m_window.get(), Qt::LeftButton, {},
                      QPoint(m_window->width() - 5, m_window->height() - 5));
    QVERIFY(!m_window->descriptionVisible());
    QCOMPARE(text1()->size(), twips(0, 0, 4000, 2000).size());
}

void TestEstablishWindow::keyboardAndCodeChangeOnlyTheTick()
{
    QSignalSpy dialog(m_window.get(), &EstablishWindow::settingDialogRequested);
    m_state.Conv[5] = configured(9);
    m_state.Conv[6] = configured(9);
    m_window->setChecked(5, true);
    const QString before = snapshot(m_state);

    box(5)->setFocus();
    QTest::keyClick(box(5), Qt::Key_Space);
    QVERIFY(!m_window->isChecked(5));
    QTest::keyClick(box(6), Qt::Key_Space);
    QVERIFY(m_window->isChecked(6));
    QCOMPARE(dialog.count(), 0);
    QCOMPARE(snapshot(m_state), before);

    // As loading a file and the setting dialog's close question do.
    EstablishView &view = *m_window;
    view.setChecked(20, true);
    QVERIFY(view.isChecked(20));
    QVERIFY(box(20)->isChecked());
    view.setChecked(6, false);
    QVERIFY(!view.isChecked(6));
    QCOMPARE(dialog.count(), 0);
    QCOMPARE(snapshot(m_state), before);
}

void TestEstablishWindow::description_data()
{
    QTest::addColumn<ConvRecord>("record");
    QTest::addColumn<LinkRecord>("link");
    QTest::addColumn<QString>("extra"); // the lines after the first three

    const LinkRecord unlinked;
    const LinkRecord source{QStringLiteral("SHEET"), QStringLiteral("[book]Sheet1"),
                            QStringLiteral("R1C1"), 1};
    LinkRecord assigned;
    assigned.Linked = 2;
    const QString sourceLines =
        QStringLiteral("Service: SHEET\r\nTopic: [book]Sheet1\r\nItem: R1C1\r\n");

    ConvRecord ao = configured(7);
    ao.OutValue = 2.5f;
    QTest::newRow("output linked") << ao << source << sourceLines;
    QTest::newRow("output read back")
        << ao << unlinked << QStringLiteral("Output ReadBack A/O: 2.5V\r\n");

    ConvRecord four = configured(9);
    four.Channels = 3;
    four.OutValue = -0.125f;
    QTest::newRow("four-channel assigned")
        << four << assigned << QStringLiteral("Output Channel:3\r\nOutput Assign A/O: -0.125V\r\n");

    ConvRecord eight = configured(5);
    eight.Channels = 0xC1;
    QTest::newRow("eight channels")
        << eight << unlinked << QStringLiteral("Channel Selection:C1[h]\r\n");

    ConvRecord dio = configured(15); // 2017
    dio.IoType = 1;
    dio.OutData = 0x7F;
    QTest::newRow("digital input, linked or not")
        << dio << source << QStringLiteral("Digital Input\r\n");
    dio.IoType = 2;
    QTest::newRow("digital output read back")
        << dio << unlinked << QStringLiteral("Output ReadBack DO: 127\r\n");
    QTest::newRow("digital output linked") << configured(22) << source << sourceLines;

    // Entries without lines of their own, and codes of no list entry.
    QTest::newRow("slot digital module") << configured(35) << source << QString();
    ConvRecord twin = configured(7);
    twin.TypeCode = catalogue::typeCodeOfName(QStringLiteral("3011"));
    QTest::newRow("code only a file brings") << twin << unlinked << QString();
    ConvRecord cleared = configured(7);
    cleared.InUse = 0;
    cleared.TypeCode = 0;
    QTest::newRow("cleared") << cleared << unlinked << QString();
}

void TestEstablishWindow::description()
{
    QFETCH(ConvRecord, record);
    QFETCH(LinkRecord, link);
    QFETCH(QString, extra);

    SharedState state;
    state.Conv[17] = record;
    state.Link[17] = link;
    const QString text = conversationDescription(state, 17);
    QVERIFY(text.endsWith(CrLf));
    QCOMPARE(text.section(CrLf, 3), extra);
}

void TestEstablishWindow::descriptionHead()
{
    SharedState state;
    state.Conv[0] = configured(35, 115200, 255); // 9040: a code with its upper bits set
    QCOMPARE(
        conversationDescription(state, 0),
        QStringLiteral("Module Type:FFFF9040\r\nBaud Rate:115200\r\nModule Address:FF[h]\r\n"));

    state.Conv[1] = configured(63, 1200, 0); // 92027
    QCOMPARE(conversationDescription(state, 1),
             QStringLiteral("Module Type:92027\r\nBaud Rate:1200\r\nModule Address:0[h]\r\n"));
}

QTEST_MAIN(TestEstablishWindow)
#include "tst_establishwindow.moc"
