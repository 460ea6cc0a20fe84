#include "conversations/conversationdescription.h"
#include "conversations/conversationfiles.h"
#include "conversations/windows/establishwindow.h"
#include "device/catalogue.h"
#include "support/scriptedprompt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <memory>

Q_DECLARE_METATYPE(telviox::ConvRecord)
Q_DECLARE_METATYPE(telviox::LinkRecord)

using namespace telviox;

namespace {

// The conversation's setting list entry as the setting dialog stores it.
ConvRecord configured(int listIndex, qint32 baud = 9600, qint16 address = 1)
{
    return ConvRecord{1, catalogue::typeCodeOfListIndex(listIndex), baud, address, 1, 1, 0, 0, 0,
                      0.0f, 3};
}

// Everything the window may touch, to see that nothing changed.
QByteArray snapshot(const SharedState &state)
{
    return encodeCnv(state.Conv) + encodeCompanion(state.Link).value_or("(unwritable)") +
           QByteArray::number(state.ComPort) + ' ' + QByteArray::number(state.CurConv);
}

} // namespace

class TestEstablishWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void scrollBarWritesTheInterval();
    void keyboardAndComComboChangeOnlyTheTick();
    void leftReleaseClearsOrAsksForTheDialog();
    void rightClickTogglesTheDescription();
    void description_data();
    void description();

private:
    QCheckBox *box(int index) const
    {
        return m_window->findChild<QCheckBox *>(QStringLiteral("Check1(%1)").arg(index));
    }
    void click(int index, Qt::MouseButton button) { QTest::mouseClick(box(index), button); }

    SharedState m_state;
    test::ScriptedPrompt m_prompt;
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

void TestEstablishWindow::scrollBarWritesTheInterval()
{
    auto *scroll = m_window->findChild<QScrollBar *>("HScroll1");
    auto *label = m_window->findChild<QLabel *>("Label1");
    QVERIFY(scroll && label);
    scroll->triggerAction(QAbstractSlider::SliderToMinimum);
    QCOMPARE(label->text(), QStringLiteral("Timer Interval: 50 mSec"));
    QCOMPARE(m_state.Link[IntervalEntry].Linked, qint16(50));
}

void TestEstablishWindow::keyboardAndComComboChangeOnlyTheTick()
{
    QSignalSpy dialog(m_window.get(), &EstablishWindow::settingDialogRequested);
    auto *combo = m_window->findChild<QComboBox *>("form1comCombo");
    QCOMPARE(combo->currentIndex(), m_state.ComPort - 1);
    m_state.Conv[5] = configured(9);
    m_window->setChecked(5, true);
    const QByteArray before = snapshot(m_state);
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(combo->currentText(), QStringLiteral("COM3"));
    box(5)->setFocus();
    QTest::keyClick(box(5), Qt::Key_Space);
    QVERIFY(!m_window->isChecked(5));
    QTest::keyClick(box(6), Qt::Key_Space);
    QVERIFY(m_window->isChecked(6));
    QCOMPARE(dialog.count(), 0);
    QCOMPARE(snapshot(m_state), before);
}

void TestEstablishWindow::leftReleaseClearsOrAsksForTheDialog()
{
    QSignalSpy dialog(m_window.get(), &EstablishWindow::settingDialogRequested);
    ConvRecord record = configured(7);
    record.OutValue = 4.5f;
    m_state.Conv[3] = record;
    m_window->setChecked(3, true);

    // Clearing empties the conversation at once and keeps its other fields.
    click(3, Qt::LeftButton);
    QVERIFY(!m_window->isChecked(3));
    record.InUse = 0;
    record.TypeCode = 0;
    SharedState expected;
    expected.Conv[3] = record;
    expected.CurConv = 3;
    QCOMPARE(snapshot(m_state), snapshot(expected));
    QCOMPARE(dialog.count(), 0);

    // Ticking again asks for the dialog of that conversation.
    click(3, Qt::LeftButton);
    QVERIFY(m_window->isChecked(3));
    QCOMPARE(dialog.count(), 1);
    QCOMPARE(dialog.first().first().toInt(), 3);
}

void TestEstablishWindow::rightClickTogglesTheDescription()
{
    QSignalSpy dialog(m_window.get(), &EstablishWindow::settingDialogRequested);
    auto *text = m_window->findChild<QPlainTextEdit *>("Text1");
    m_state.Conv[10] = configured(0, 19200, 0x1F);
    m_window->setChecked(10, true);
    click(10, Qt::RightButton);
    QVERIFY(m_window->isChecked(10)); // a right click does not toggle the box
    QVERIFY(m_window->descriptionVisible());
    QCOMPARE(text->toPlainText(), QStringLiteral("Module Type:2026\nBaud Rate:19200\n"
                                                 "Module Address:1F[h]\nAnalog Input\n"));
    click(10, Qt::RightButton);
    QVERIFY(!m_window->descriptionVisible());
    click(10, Qt::RightButton);
    QVERIFY(m_window->descriptionVisible());
    click(11, Qt::RightButton); // a clear box hides it
    QVERIFY(!m_window->descriptionVisible());
    QCOMPARE(dialog.count(), 0);
}

void TestEstablishWindow::description_data()
{
    QTest::addColumn<ConvRecord>("record");
    QTest::addColumn<LinkRecord>("link");
    QTest::addColumn<QString>("extra"); // the lines after the first three
    const LinkRecord source{QStringLiteral("SHEET"), QStringLiteral("[book]Sheet1"),
                            QStringLiteral("R1C1"), 1};
    ConvRecord ao = configured(7);
    ao.OutValue = 2.5f;
    QTest::newRow("output linked")
        << ao << source << "Service: SHEET\r\nTopic: [book]Sheet1\r\nItem: R1C1\r\n";
    QTest::newRow("output read back")
        << ao << LinkRecord{} << QStringLiteral("Output ReadBack A/O: 2.5V\r\n");
    ConvRecord dio = configured(15);
    dio.IoType = 2;
    dio.OutData = 0x7F;
    QTest::newRow("digital output read back")
        << dio << LinkRecord{} << QStringLiteral("Output ReadBack DO: 127\r\n");
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
    QCOMPARE(text.section(QStringLiteral("\r\n"), 3), extra);
    // The head: a type code with its upper bits set, the address in hexadecimal.
    state.Conv[0] = configured(35, 115200, 255);
    QCOMPARE(conversationDescription(state, 0),
             "Module Type:FFFF9040\r\nBaud Rate:115200\r\nModule Address:FF[h]\r\n");
}

QTEST_MAIN(TestEstablishWindow)
#include "tst_establishwindow.moc"
