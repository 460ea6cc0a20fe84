// The serving program as the program builds it, on a private bus: a linked
// output's item follows its source between ticks, and the link goes when the
// server stops.

#include "conversations/conversationtable.h"
#include "ddetestbus.h"
#include "server/ddeclient.h"
#include "server/ddeitemserver.h"
#include "server/ddelinksource.h"
#include "server/ddeprogramitems.h"
#include "server/serverrig.h"

#include <QSignalSpy>
#include <QTest>

using namespace telviox;
using namespace telviox::test;
using namespace Qt::StringLiterals;

class TestServingProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString reason;
        if (!m_bus.start(&reason))
            QSKIP(qPrintable(reason));
    }

    void linkedItemFollowsItsSource_data()
    {
        QTest::addColumn<bool>("own"); // the source is an item of this program
        QTest::newRow("another program's item") << false;
        QTest::newRow("an item of this program") << true;
    }

    void linkedItemFollowsItsSource()
    {
        QFETCH(bool, own);
        // Another program's item, on a connection of its own.
        const QDBusConnection other =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"source-program"_s);
        DdeItemServer sheet(other, u"Calc"_s, u"Sheet1"_s, {u"R1C1"_s});
        QVERIFY(sheet.publish());

        VirtualClock clock;
        const auto line =
            loadLine(R"({"modules": [{"name": "2011", "address": 3, "baud": 9600}]})");
        SerialLink link(clock, sim::simDeviceFactory(*line, clock));
        SharedState state;
        ScriptedPrompt prompt;
        RecordingStatus status;
        FakeView view;
        FakeEstablish establish;
        ServingProgram serving({state, link, clock, prompt, status}, QDBusConnection::sessionBus(),
                               ServingProgram::Ticks::Manual);
        PollCycle &cycle = serving.attach(establish, view, [] { QFAIL("nothing ends here"); });
        DdeProgramItems &items = *serving.programItems();
        auto &source = dynamic_cast<DdeLinkSource &>(serving.source());
        QVERIFY(items.publish());
        const auto setSource = [&](const QString &text) {
            if (own)
                items.FillText(5, text);
            else
                sheet.setText(u"R1C1"_s, text);
        };
        setSource(u"2.5"_s);

        state.ComPort = 1;
        state.Conv[0] = ConvRecord{1, catalogue::typeCodeOfName(u"2011"_s), 9600, 3, 0, 1};
        state.Link[0] = own ? LinkRecord{u"TELVIOXD"_s, u"Form5"_s, u"Text5"_s, 1}
                            : LinkRecord{u"Calc"_s, u"Sheet1"_s, u"R1C1"_s, 1};
        setIntervalEntry(state, 500);
        establish.checks[0] = true;
        cycle.mnuRunDDE_Click();
        cycle.Timer1_Timer();
        QCOMPARE(items.text(1).trimmed(), u"+2.500"_s);

        // Between ticks the item shows what the source advises ...
        setSource(u"4.25"_s);
        QTRY_COMPARE(items.text(1), u"4.25"_s);
        // ... and the next tick what was written to the module.
        cycle.Timer1_Timer();
        QCOMPARE(items.text(1).trimmed(), u"+4.250"_s);
        QVERIFY(prompt.shown().isEmpty());

        // Stopped: the link is gone. A listener of the test's own, on the same
        // connection, hears the change; the item does not follow it.
        cycle.form5quitCmd_Click();
        QVERIFY(!source.isLinked(1));
        const QString before = items.text(1);
        DdeAdviseLink listener(QDBusConnection::sessionBus(), u"Calc"_s, u"Sheet1"_s, u"R1C1"_s);
        QSignalSpy heard(&listener, &DdeAdviseLink::advised);
        setSource(u"7"_s);
        QVERIFY(own || heard.wait(30000));
        QCOMPARE(items.text(1), before);
        sheet.unpublish();
        items.unpublish();
        QDBusConnection::disconnectFromBus(u"source-program"_s);
    }

private:
    TestBus m_bus;
};

QTEST_GUILESS_MAIN(TestServingProgram)
#include "tst_servingprogram.moc"
