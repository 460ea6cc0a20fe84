// The channel selection dialogs driven through their controls: the masks,
// "&Select All" on shown boxes only, the refusals and the close box.

#include "conversations/sharedstate.h"
#include "conversations/windows/channelwindows.h"
#include "support/scriptedprompt.h"

#include <QCheckBox>
#include <QPushButton>
#include <QtTest>

using namespace telviox;
using test::ScriptedPrompt;

class TestChannelDialogs : public QObject
{
    Q_OBJECT

private slots:
    void selectionMask_data();
    void selectionMask();
    void selectionCancelAndCloseBox_data();
    void selectionCancelAndCloseBox();
    void counterMask_data();
    void counterMask();
};

namespace {

template<typename W>
W *child(QWidget &parent, const QString &name)
{
    W *w = parent.findChild<W *>(name);
    if (!w)
        throw std::runtime_error(name.toStdString());
    return w;
}

QCheckBox *channelBox(QWidget &dialog, int n)
{
    return child<QCheckBox>(dialog, QStringLiteral("form3channelCheck(%1)").arg(n));
}

} // namespace

void TestChannelDialogs::selectionMask_data()
{
    QTest::addColumn<int>("shown");
    QTest::addColumn<QList<int>>("ticks");
    QTest::addColumn<QString>("button"); // pressed after the ticks, before OK
    QTest::addColumn<int>("mask");       // -1: refused

    QTest::newRow("CH:2 of eight") << 8 << QList<int>{2} << "" << 0x20;
    QTest::newRow("CH:0 and CH:7") << 8 << QList<int>{0, 7} << "" << 0x81;
    QTest::newRow("all eight") << 8 << QList<int>{} << "form3allCmd" << 0xFF;
    QTest::newRow("all of four") << 4 << QList<int>{} << "form3allCmd" << 0xF0;
    QTest::newRow("all of three") << 3 << QList<int>{1} << "form3allCmd" << 0xE0;
    QTest::newRow("single channel module") << 1 << QList<int>{0} << "" << 1;
    QTest::newRow("single channel, select all") << 1 << QList<int>{} << "form3allCmd" << 1;
    QTest::newRow("nothing ticked") << 8 << QList<int>{} << "" << -1;
    QTest::newRow("unselect all") << 4 << QList<int>{0, 3} << "form3clearCmd" << -1;
}

void TestChannelDialogs::selectionMask()
{
    QFETCH(int, shown);
    QFETCH(QList<int>, ticks);
    QFETCH(QString, button);
    QFETCH(int, mask);

    SharedState state;
    state.ModelName = QStringLiteral("2091      ");
    state.SelChannels = 0x55;
    state.DialogState = 1;
    ScriptedPrompt prompt;
    ChannelSelectionDialog dialog(state, prompt, shown);
    dialog.show();
    for (int n = 0; n < 8; ++n)
        QCOMPARE(channelBox(dialog, n)->isVisible(), n < shown);
    for (int n : ticks)
        QTest::mouseClick(channelBox(dialog, n), Qt::LeftButton);
    if (!button.isEmpty())
        child<QPushButton>(dialog, button)->click();
    // Select All leaves the hidden boxes as they are.
    for (int n = shown; n < 8; ++n)
        QVERIFY(!channelBox(dialog, n)->isChecked());

    if (mask < 0)
        prompt.expect(QStringLiteral("Please Select Channels"), BoxStyle::Ok, dialog.windowTitle(),
                      Answer::Ok);
    child<QPushButton>(dialog, QStringLiteral("form3okCommand"))->click();
    QVERIFY2(prompt.problems().isEmpty(), qPrintable(prompt.problems().join('\n')));
    QCOMPARE(dialog.isVisible(), mask < 0);
    QCOMPARE(state.SelChannels, qint16(mask < 0 ? 0x55 : mask));
    QCOMPARE(prompt.beeps(), mask < 0 ? 1 : 0);
    QCOMPARE(state.DialogState, qint16(1));
}

void TestChannelDialogs::selectionCancelAndCloseBox_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("cancel") << false;
    QTest::newRow("close box") << true;
}

void TestChannelDialogs::selectionCancelAndCloseBox()
{
    QFETCH(bool, closeBox);
    SharedState state;
    state.SelChannels = 0x40;
    state.DialogState = 1;
    ScriptedPrompt prompt;
    ChannelSelectionDialog dialog(state, prompt, 8);
    dialog.show();
    QTest::mouseClick(channelBox(dialog, 0), Qt::LeftButton);
    if (closeBox)
        dialog.close();
    else
        child<QPushButton>(dialog, QStringLiteral("form3CancelCommand"))->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(state.SelChannels, qint16(0x40));
    QCOMPARE(state.DialogState, qint16(closeBox ? 2 : 1));
}

void TestChannelDialogs::counterMask_data()
{
    QTest::addColumn<QList<int>>("ticks");
    QTest::addColumn<QString>("leave"); // "ok", "cancel" or "close"
    QTest::addColumn<int>("mask");      // -1: refused, -2: left unchanged

    QTest::newRow("CH:1") << QList<int>{1} << "ok" << 2;
    QTest::newRow("CH:0") << QList<int>{0} << "ok" << 1;
    QTest::newRow("both") << QList<int>{0, 1} << "ok" << 3;
    QTest::newRow("none") << QList<int>{} << "ok" << -1;
    QTest::newRow("cancel") << QList<int>{1} << "cancel" << -2;
    QTest::newRow("close box") << QList<int>{1} << "close" << -2;
}

void TestChannelDialogs::counterMask()
{
    QFETCH(QList<int>, ticks);
    QFETCH(QString, leave);
    QFETCH(int, mask);

    SharedState state;
    state.CounterChannels = 7;
    state.DialogState = 1;
    ScriptedPrompt prompt;
    CounterChannelDialog dialog(state, prompt);
    dialog.show();
    for (int n : ticks)
        QTest::mouseClick(child<QCheckBox>(dialog, QStringLiteral("Check1(%1)").arg(n)),
                          Qt::LeftButton);
    if (mask == -1)
        prompt.expect(QStringLiteral("Please Select Channels !"), BoxStyle::Critical,
                      dialog.windowTitle(), Answer::Ok);
    if (leave == "ok")
        child<QPushButton>(dialog, QStringLiteral("cmdOK"))->click();
    else if (leave == "cancel")
        child<QPushButton>(dialog, QStringLiteral("cmdCancel"))->click();
    else
        dialog.close();
    QVERIFY2(prompt.problems().isEmpty(), qPrintable(prompt.problems().join('\n')));
    QCOMPARE(dialog.isVisible(), mask == -1);
    QCOMPARE(state.CounterChannels, qint16(mask < 0 ? 7 : mask));
    // The counter dialog's close box says nothing to the setting dialog.
    QCOMPARE(state.DialogState, qint16(1));
}

QTEST_MAIN(TestChannelDialogs)
#include "tst_channeldialogs.moc"
