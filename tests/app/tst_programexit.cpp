#include "app/shell/configfile.h"
#include "app/shell/programexit.h"
#include "device/seriallink.h"
#include "sim/simline.h"
#include "sim/simportdevice.h"
#include "support/scriptedprompt.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace telviox;
using telviox::test::ScriptedPrompt;

namespace {

struct Rig
{
    Rig()
    {
        QString error;
        line = sim::SimLine::load(R"({"modules": []})", &error);
        link = std::make_unique<SerialLink>(clock, sim::simDeviceFactory(*line, clock), dir.path());
        state.ComPort = 3;
        state.SearchBauds = searchBaudsOfMask(0);
        state.SearchChecksum = 1;
        state.AutoRun = 0;
    }

    QString configText() const
    {
        QFile file(configFilePath(dir.path()));
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    }

    ProgramExit makeExit()
    {
        return ProgramExit(state, prompt, *link, dir.path(),
                           {[this] {
                                events << "stop:" + configText();
                                link->Close_Com(state.ComPort);
                                state.ServerRunning = 0;
                            },
                            [this] { events << QStringLiteral("tray removed"); }});
    }

    QTemporaryDir dir;
    VirtualClock clock;
    std::unique_ptr<sim::SimLine> line;
    std::unique_ptr<SerialLink> link;
    SharedState state;
    ScriptedPrompt prompt;
    QStringList events;
};

const QString Question = QStringLiteral("To exit Telvioxd ?");
constexpr int QuestionStyle = 0x24;

} // namespace

class TestProgramExit : public QObject
{
    Q_OBJECT

private slots:
    void yesStopsTheServerBeforeWritingTheConfiguration();
    void unwritableConfigurationDoesNotBlockTheExit();
};

void TestProgramExit::yesStopsTheServerBeforeWritingTheConfiguration()
{
    Rig rig;
    QFile old(configFilePath(rig.dir.path()));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("1,16,0,1\n");
    old.close();
    QCOMPARE(rig.link->Open_Com(3, 9600), 0);
    rig.state.ServerRunning = 1;
    rig.prompt.expect(Question, QuestionStyle, QStringLiteral("TELVIOXD"), Answer::Yes);

    QVERIFY(rig.makeExit().queryUnload(CloseRequest::Operator));
    QVERIFY(rig.prompt.problems().isEmpty());
    // The stop saw the old file; the tray goes last.
    QCOMPARE(rig.events,
             QStringList({QStringLiteral("stop:1,16,0,1\n"), QStringLiteral("tray removed")}));
    QCOMPARE(rig.configText(), QStringLiteral("3,0,1,0\n"));
    QVERIFY(!rig.link->isOpen(3));
}

void TestProgramExit::unwritableConfigurationDoesNotBlockTheExit()
{
    Rig rig;
    // A folder where the file should be: it cannot be replaced.
    QVERIFY(QDir(rig.dir.path()).mkdir(ConfigFile::FileName));
    rig.prompt.expect(Question, QuestionStyle, QStringLiteral("TELVIOXD"), Answer::Yes);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot write the configuration"));
    QVERIFY(rig.makeExit().queryUnload(CloseRequest::Operator));
    QCOMPARE(rig.events, QStringList{QStringLiteral("tray removed")});
}

QTEST_GUILESS_MAIN(TestProgramExit)
#include "tst_programexit.moc"
