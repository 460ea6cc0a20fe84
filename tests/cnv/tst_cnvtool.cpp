#include "conversations/cli/cnvtool.h"
#include "conversations/conversationfiles.h"
#include "device/catalogue.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace telviox;

namespace {

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

Run runTool(const QStringList &args)
{
    Run run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    ToolCommandLine commandLine(QStringLiteral("telvioxd-cnv"), cnv::helpText(), out, err);
    const cnv::ToolOptions options;
    options.addTo(commandLine.parser());
    const auto done = commandLine.parse(QStringList{QStringLiteral("telvioxd-cnv")} + args);
    run.code = done ? *done : cnv::runTool(commandLine, options);
    return run;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

const char DemoList[] = "/sim/demo-list.json";

QString demoList()
{
    return qEnvironmentVariable("TELVIOXD_SOURCE") + QLatin1String(DemoList);
}

} // namespace

class CnvToolTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void exportAndImportThroughFiles_data();
    void exportAndImportThroughFiles();
    void refusedImportWritesNothing_data();
    void refusedImportWritesNothing();
    void checkNamesProblems();
    void summaryOfEachKind_data();
    void summaryOfEachKind();
    void usage_data();
    void usage();

private:
    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }
    QTemporaryDir m_dir;
};

void CnvToolTest::exportAndImportThroughFiles_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("json") << "json";
    QTest::newRow("csv") << "csv";
}

// The demonstration list imported, exported and imported again: the same pair.
void CnvToolTest::exportAndImportThroughFiles()
{
    QFETCH(QString, format);
    Run run = runTool({"import", demoList(), path("a.cnv")});
    QVERIFY2(run.code == 0, qPrintable(run.err));
    QCOMPARE(readFile(path("a.cnv")).size(), CnvFile::Size);
    QCOMPARE(readFile(path("a.dde")).size(), CompanionFile::Size);

    run = runTool({"export", path("a.cnv"), "--format", format});
    QVERIFY2(run.code == 0, qPrintable(run.err));
    QVERIFY(writeFile(path("list.txt"), run.out.toUtf8()));
    run = runTool({"import", path("list.txt"), path("b.cnv")});
    QVERIFY2(run.code == 0, qPrintable(run.err));
    QCOMPARE(readFile(path("b.cnv")), readFile(path("a.cnv")));
    QCOMPARE(readFile(path("b.dde")), readFile(path("a.dde")));
    QCOMPARE(runTool({"check", path("b.cnv")}).code, 0);
}

void CnvToolTest::refusedImportWritesNothing_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("two problems, both named")
        << QByteArray("interval,1000\nconv,model,address,baud,slot\n"
                      "2,2026,01,9600,0\n4,9091,1G,9600,9\n")
        << QStringList{"conversation 4, address: \"1G\" is not hexadecimal",
                       "conversation 4, slot: 9 is not 0 to 7"};
    QTest::newRow("empty text") << QByteArray() << QStringList{"interval: missing"};
}

void CnvToolTest::refusedImportWritesNothing()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, messages);
    // An old pair at the target stays as it is; a new target is not created.
    QVERIFY(writeFile(path("old.cnv"), "old list"));
    QVERIFY(writeFile(path("old.dde"), "old companion"));
    QVERIFY(writeFile(path("bad.txt"), text));
    for (const char *target : {"old.cnv", "new.cnv"}) {
        const Run run = runTool({"import", path("bad.txt"), path(target)});
        QCOMPARE(run.code, 2);
        QStringList expected;
        for (const QString &message : messages)
            expected << "telvioxd-cnv: " + path("bad.txt") + ": " + message;
        expected << "telvioxd-cnv: nothing written" << QString();
        QCOMPARE(run.err.split('\n'), expected);
    }
    QCOMPARE(readFile(path("old.cnv")), QByteArray("old list"));
    QCOMPARE(readFile(path("old.dde")), QByteArray("old companion"));
    QVERIFY(!QFile::exists(path("new.cnv")));
    QVERIFY(!QFile::exists(path("new.dde")));
}

void CnvToolTest::checkNamesProblems()
{
    QVERIFY(runTool({"import", demoList(), path("c.cnv")}).code == 0);
    QByteArray cnvBytes = readFile(path("c.cnv"));
    cnvBytes[10] = char(0x00); // conversation 0: address 256
    cnvBytes[11] = char(0x01);
    QVERIFY(writeFile(path("c.cnv"), cnvBytes));
    Run run = runTool({"check", path("c.cnv")});
    QCOMPARE(run.code, 1);
    QCOMPARE(run.out, path("c.cnv") + ": conversation 0, address: 256 is not 00 to FF\n");

    QVERIFY(QFile::remove(path("c.dde")));
    run = runTool({"check", path("c.cnv")});
    QCOMPARE(run.code, 1);
    QVERIFY2(run.err.startsWith("telvioxd-cnv: cannot read " + path("c.dde")), qPrintable(run.err));
    // Export and summary need both files too, and neither makes up a companion.
    QCOMPARE(runTool({"export", path("c.cnv")}).code, 1);
    QCOMPARE(runTool({"summary", path("c.cnv")}).code, 1);
    QVERIFY(!QFile::exists(path("c.dde")));
}

void CnvToolTest::summaryOfEachKind_data()
{
    QTest::addColumn<QByteArray>("entry"); // the fields of one conversation
    QTest::addColumn<QStringList>("lines");
    // The lines themselves are the summary window's, tested with it; here the
    // imported fields reach them, and the line ends.

    const QString indent(32, QLatin1Char(' '));
    QTest::newRow("analog output from a source")
        << QByteArray(
               R"("conv": 31, "model": "2011", "address": "00", "baud": 9600, "output": "source", )"
               R"("source": {"service": "Excel", "topic": "Sheet1", "item": "R1C1"})")
        << QStringList{"31:   2011   0[0]     9600      Service:Excel", indent + "Topic:Sheet1",
                       indent + "Item:R1C1"};
    QTest::newRow("four-channel output, channel 3")
        << QByteArray(
               R"("conv": 0, "model": "2028", "address": "0A", "baud": 4800, "channel": 3, "outValue": 10)")
        << QStringList{"00:   2028   10[A]    4800      Output Channel:3",
                       indent + "Output ReadBack A/O: 10V"};
    QTest::newRow("nothing configured")
        << QByteArray(R"("conv": 4, "inUse": false, "address": "01")") << QStringList{};
}

void CnvToolTest::summaryOfEachKind()
{
    QFETCH(QByteArray, entry);
    QFETCH(QStringList, lines);
    QVERIFY(
        writeFile(path("one.json"), R"({"interval": 1000, "conversations": [{)" + entry + "}]}"));
    const Run imported = runTool({"import", path("one.json"), path("one.cnv")});
    QVERIFY2(imported.code == 0, qPrintable(imported.err));

    const QString crLf = lines.isEmpty() ? QString() : lines.join("\r\n") + "\r\n";
    Run run = runTool({"summary", path("one.cnv")});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.out, crLf);
    run = runTool({"summary", "--unix", path("one.cnv")});
    QCOMPARE(run.out, QString(crLf).replace("\r\n", "\n"));
}

void CnvToolTest::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("no command") << QStringList{} << "no command given";
    QTest::newRow("unknown command") << QStringList{"show", "a.cnv"} << "no command show";
    QTest::newRow("import of one file")
        << QStringList{"import", "a.cnv"} << "import takes TEXT and FILE.cnv";
    QTest::newRow("format of another kind")
        << QStringList{"export", "a.cnv", "--format", "xml"} << "--format is json or csv, not xml";
    QTest::newRow("format for check")
        << QStringList{"check", "a.cnv", "--format", "csv"} << "--format belongs to export";
    QTest::newRow("unix for export")
        << QStringList{"export", "a.cnv", "--unix"} << "--unix belongs to summary";
}

void CnvToolTest::usage()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const Run run = runTool(args);
    QCOMPARE(run.code, 2);
    QCOMPARE(run.err.section('\n', 0, 0), "telvioxd-cnv: " + message);
    QVERIFY(run.out.isEmpty());
}

QTEST_GUILESS_MAIN(CnvToolTest)
#include "tst_cnvtool.moc"
