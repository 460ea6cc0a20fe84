// On the search line that ships with the simulator, modules without checksum
// refuse commands that carry checksum digits instead of misreading them.

#include "sim/simline.h"

#include <QtTest>

using telviox::sim::SimLine;
using telviox::sim::SimReply;

namespace {

QByteArray cs(const QByteArray &text)
{
    return text + SimLine::checksumOf(text);
}

} // namespace

class TestSearchLine : public QObject
{
    Q_OBJECT

private slots:
    void init();
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
