// The search line that ships with the simulator answers every command a
// module search sends, and modules without checksum refuse commands that
// carry checksum digits instead of misreading them.

#include "sim/simline.h"

#include <QtTest>

using telviox::sim::SimLine;
using telviox::sim::SimReply;

namespace {

QByteArray cs(const QByteArray &text)
{
    return text + SimLine::checksumOf(text);
}

struct Exchange
{
    QByteArray command;
    QByteArray reply; // without CR
    qint32 baud = 9600;
};
using Exchanges = QList<Exchange>;

} // namespace

class TestSearchLine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void answersTheSearch_data();
    void answersTheSearch();
    void checksumDigitsAreRefused_data();
    void checksumDigitsAreRefused();
    void replyDelayLeavesOutTheCommand();

private:
    std::unique_ptr<SimLine> m_line;
};

void TestSearchLine::init()
{
    QString error;
    m_line = SimLine::loadFile(qEnvironmentVariable("TELVIOXD_SOURCE") + "/sim/search-line.json",
                               &error);
    QVERIFY2(m_line, qPrintable(error));
}

void TestSearchLine::answersTheSearch_data()
{
    QTest::addColumn<Exchanges>("exchanges");
    const qint32 F = 19200;
    // clang-format off
    QTest::newRow("names, both rates, checksum")
        << Exchanges{{"$01M", "!012026D"}, {"$10M", "!10WDT0"}, {"$12M", "!129900", F},
                     {"$12M", ""}, {"$0DM", "", F}, {cs("$0DM"), cs("!0D2058"), F},
                     {"$0FM", "!0F92061"}};
    QTest::newRow("alarm-capable inputs")
        << Exchanges{{"@01DI", "!0110001"}, {"$012", "!010F0600"}, {"$01RH", "!01+200.000"},
                     {"$01RL", "!01+100.000"}, {"@02DI", "!0220000"}, {"$022", "!02090600"},
                     {"@03DI", "!0300200"}, {"$032", "!030D0600"}, {"$03LS", "!031"},
                     {"@04DI", "!0410000"}, {"$042", "!04020600"}, {"$04LS", "!040"}};
    QTest::newRow("analog inputs and outputs")
        << Exchanges{{"$052", "!05220600"}, {"$062", "!06080600"}, {"$066", "!063F"},
                     {"$072", "!070E0600"}, {"$082", "!08310600"}, {"$092", "!09320600"},
                     {"$0990", "!091"}, {"$0991", "!092"}, {"$0A2", "!0A330700", F},
                     {"$0B2", "!0B2A0600"}, {"$0B8", "!0B02"}};
    QTest::newRow("digital configuration")
        << Exchanges{{"$0C2", "!0C400600"}, {cs("$0D2"), cs("!0D400740"), F},
                     {"$0F2", "!0F400600"}};
    QTest::newRow("counter")
        << Exchanges{{"$0E2", "!0E500700", F}, {"$0EA", "!0E1", F}, {"$0E1H", "!0E35", F},
                     {"$0E1L", "!0E10", F}, {"$0E50", "!0E1", F}, {"$0E51", "!0E0", F},
                     {"@0EG0", "!0E00000100", F}, {"@0EG1", "!0E00000000", F},
                     {"$0E00", "!0E00250", F}, {"$0E01", "!0E70000", F},
                     {"$0E30", "!0EFFFFFFFF", F}, {"$0E31", "!0E0000FFFF", F},
                     {"@0ERP0", "!0E00001000", F}, {"@0ERP1", "!0E00000000", F},
                     {"$0EB", "!0E0", F}, {"@0EDI", "!0E20000", F}};
    QTest::newRow("main units and their slots")
        << Exchanges{{"$11M", "!119000"}, {"$11T", "!112735FF61"}, {"$11T1", "?11"},
                     {"$12T", "!121HFF8628", F}, {"$12T1", "!1240916017", F},
                     {"$12S0B", "!120A00", F}, {"$12S2B", "!121000", F},
                     {"$12S3B", "!123200", F}, {"$12S5B", "!120900", F},
                     {"$12S1B", "?12", F}, {"$12S0M", "!129091H", F}};
    // clang-format on
}

void TestSearchLine::answersTheSearch()
{
    QFETCH(Exchanges, exchanges);
    for (const Exchange &e : exchanges) {
        const QByteArray reply = m_line->receive(e.command + '\r', e.baud, 0);
        QVERIFY2(reply == (e.reply.isEmpty() ? e.reply : e.reply + '\r'),
                 qPrintable(e.command + " -> " + reply));
    }
}

void TestSearchLine::checksumDigitsAreRefused_data()
{
    // A command, as a client with its checksum flag on sends it, to a module
    // whose checksum is off: refused, and nothing changes.
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("refusal");
    QTest::addColumn<qint32>("baud");
    const auto row = [](const char *name, const QByteArray &text, const char *aa, qint32 baud) {
        QTest::newRow(name) << cs(text) << QByteArray('?' + QByteArray(aa)) << baud;
    };
    row("port byte", "@0C5A", "0C", 9600);
    row("port bit", "#0C1101", "0C", 9600);
    row("slot port byte", "@12S6FF", "12", 19200);
    row("analog output", "#08+05.000", "08", 9600);
    row("analog output channel", "#0A1+01.000", "0A", 19200);
    row("configuration", "$012", "01", 9600);
    row("alarm read", "@04DI", "04", 9600);
    row("slot table", "$12T", "12", 19200);
    row("slot configuration", "$12S0B", "12", 19200);
    row("counter status", "$0E50", "0E", 19200);
    row("output range", "$0990", "09", 9600);
}

void TestSearchLine::checksumDigitsAreRefused()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, refusal);
    QFETCH(qint32, baud);
    QCOMPARE(m_line->receive(command + '\r', baud, 0), refusal + '\r');
    QCOMPARE(m_line->digitalOutputs(0x0C), std::optional<quint32>(0xA5));
    QCOMPARE(m_line->digitalOutputs(0x12, 6), std::optional<quint32>(0x81));
    QCOMPARE(m_line->analogOutput(0x08, 0), std::optional<double>(12.0));
    QCOMPARE(m_line->analogOutput(0x0A, 1), std::optional<double>(-1.0));
}

void TestSearchLine::replyDelayLeavesOutTheCommand()
{
    // At 1200 bit/s a configuration read must fit a 100 ms time-out: the
    // reply's 10 characters take 83 ms, the command's own 5 must not count.
    m_line->setWireTime(true);
    const std::vector<SimReply> replies = m_line->process("$0A2\r", 19200, 0);
    QCOMPARE(replies.size(), size_t(1));
    QCOMPARE(replies.front().bytes, "!0A330700\r");
    QVERIFY(m_line->replyDelayUs(replies.front(), 1200) < 100000);
    QCOMPARE(m_line->replyDelayUs(replies.front(), 1200),
             qint64(m_line->turnaroundMs()) * 1000 + SimLine::wireTimeUs(10, 1200));
    m_line->setWireTime(false);
    QCOMPARE(m_line->replyDelayUs(replies.front(), 1200), qint64(m_line->turnaroundMs()) * 1000);
}

QTEST_GUILESS_MAIN(TestSearchLine)
#include "tst_searchline.moc"
