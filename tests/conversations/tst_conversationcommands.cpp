#include "app/filedialog.h"
#include "conversations/conversationcommands.h"
#include "device/catalogue.h"
#include "support/scriptedprompt.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <memory>

using namespace telviox;
using test::ScriptedPrompt;

namespace {

const QString NoFileSelection = QStringLiteral("No File Selection !!!");
const QString Overwrite = QStringLiteral("The file already exist!!!, Overwrite it?");

class FakeDialogs final : public FileDialogs
{
public:
    std::optional<QString> getOpenFileName(const QString &, const QString &filter,
                                           int index) override
    {
        calls << QStringLiteral("open %1 %2").arg(filter).arg(index);
        return answer;
    }
    std::optional<QString> getSaveFileName(const QString &, const QString &filter,
                                           int index) override
    {
        calls << QStringLiteral("save %1 %2").arg(filter).arg(index);
        return answer;
    }
    std::optional<QString> answer;
    QStringList calls;
};

// As the window: a tick changes nothing else; the scroll bar holds 50..10000
// and its change writes the settings entry.
class FakeEstablish final : public EstablishView
{
public:
    explicit FakeEstablish(SharedState &state) : m_state(state) {}
    void setChecked(int index, bool ticked) override { checks.at(size_t(index)) = ticked; }
    bool isChecked(int index) const override { return checks.at(size_t(index)); }
    void setIntervalValue(int value) override
    {
        QVERIFY2(intervalAcceptable(value), "the scroll bar refuses this value");
        interval = value;
        label = intervalChanged(m_state, value);
    }
    QList<int> ticked() const
    {
        QList<int> list;
        for (int i = 0; i < ConvCount; ++i) {
            if (checks[size_t(i)])
                list << i;
        }
        return list;
    }
    std::array<bool, ConvCount> checks{};
    int interval = IntervalInitial;
    QString label;

private:
    SharedState &m_state;
};

struct Harness : MainWindowCaption
{
    Harness()
        : commands(state, prompt, dialogs, establish, *this, [this] {
              ++serverStarts;
              ticksAtStart = establish.ticked();
          })
    {}
    void setCaption(const QString &text) override { caption = text; }

    SharedState state;
    ScriptedPrompt prompt;
    FakeDialogs dialogs;
    FakeEstablish establish{state};
    QString caption = QStringLiteral("TELVIOXD");
    int serverStarts = 0;
    QList<int> ticksAtStart;
    ConversationFileCommands commands;
};

float floatOf(quint32 bits)
{
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Conversations 0, 5, 9 (InUse 2) and 31 configured, 3 cleared.
ConversationPair sampleList(qint16 interval = 250)
{
    ConversationPair pair;
    for (int i : {0, 5, 9, 31}) {
        ConvRecord &r = pair.conv[size_t(i)];
        r.InUse = i == 9 ? 2 : 1;
        r.TypeCode = catalogue::typeCodeOfName(QStringLiteral("9040"));
        r.BaudRate = 9600;
        r.Address = qint16(i);
    }
    pair.conv[3].TypeCode = 0x2026;
    pair.conv[5].OutValue = floatOf(0x7FC12345u);
    pair.link[5] = {QString(30, QLatin1Char('s')), QString(30, QLatin1Char('t')),
                    QString(12, QLatin1Char('i')), 1};
    pair.link[IntervalEntry] = {QStringLiteral("Timer Interval"), {}, {}, interval};
    return pair;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

bool writeList(const QString &cnvPath, const ConversationPair &pair)
{
    return writeFile(cnvPath, encodeCnv(pair.conv)) &&
           writeFile(companionPath(cnvPath), *encodeCompanion(pair.link));
}

QByteArray listBytes(const ConvTable &conv, const LinkTable &link)
{
    return encodeCnv(conv) + encodeCompanion(link).value_or("(unwritable)");
}

// Everything a failed load must leave as it was.
QByteArray snapshot(const Harness &h)
{
    return listBytes(h.state.Conv, h.state.Link) + h.caption.toUtf8() +
           QByteArray::number(h.establish.interval) + QByteArray::number(h.state.CurConv) +
           QByteArray::number(h.state.ComPort) + char(h.state.PollEnabled[1]) +
           QByteArray::number(h.establish.ticked().size());
}

// A table being edited, which differs from sampleList() everywhere it can.
void editSomething(Harness &h)
{
    h.state.Conv[1] = ConvRecord{1, 0x2011, 9600, 1, 0, 1, 0, 0, 0, 2.5f, 0};
    h.state.Link[1] = {QStringLiteral("Calc"), QStringLiteral("Book"), QStringLiteral("A1"), 1};
    setIntervalEntry(h.state, 700);
    h.state.CurConv = 7;
    h.state.ComPort = 3;
    h.state.PollEnabled[1] = 1;
    h.establish.checks[1] = h.establish.checks[2] = true;
}

} // namespace

class ConversationCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openLoadsThePair();
    void openCancelledOrWrongExtension();
    void failedOpenChangesNothing_data();
    void failedOpenChangesNothing();
    void saveThenOpenGivesTheListBack();
    void saveCancelledOrNotOverwritten();
    void saveRefusesUnwritableLinks_data();
    void saveRefusesUnwritableLinks();
    void saveReportsWriteFailure();
    void autorunLoadsThenStartsServer();
    void autorunMissingFile();

private:
    QString file(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<Harness> m_h;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void ConversationCommandsTest::init()
{
    m_h = std::make_unique<Harness>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void ConversationCommandsTest::cleanup()
{
    const QStringList problems = m_h->prompt.problems();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void ConversationCommandsTest::openLoadsThePair()
{
    Harness &h = *m_h;
    const QString path = file(QStringLiteral("LINE1.CNV"));
    const ConversationPair list = sampleList();
    QVERIFY(writeList(path, list));
    editSomething(h);
    h.dialogs.answer = path;

    QVERIFY(h.commands.open());

    QCOMPARE(h.dialogs.calls, QStringList{QStringLiteral("open All File|*.*|.Cnv|*.CNV 2")});
    QCOMPARE(h.caption, QStringLiteral("Working file:") + path);
    QCOMPARE(h.establish.ticked(), (QList<int>{0, 5, 9, 31}));
    QCOMPARE(listBytes(h.state.Conv, h.state.Link), listBytes(list.conv, list.link));
    QCOMPARE(h.establish.label, QStringLiteral("Timer Interval: 250 mSec"));
    // Only the tables change.
    QCOMPARE(h.state.CurConv, qint16(7));
    QCOMPARE(h.state.ComPort, qint16(3));
    QCOMPARE(h.state.PollEnabled[1], quint8(1));
    QCOMPARE(h.prompt.beeps(), 1);
    QVERIFY(h.prompt.shown().isEmpty());
}

void ConversationCommandsTest::openCancelledOrWrongExtension()
{
    Harness &h = *m_h;
    editSomething(h);
    const QByteArray before = snapshot(h);
    h.prompt.expect(NoFileSelection, 0x16, QStringLiteral("File Open"), Answer::TryAgain);
    QVERIFY(!h.commands.open());
    QCOMPARE(h.prompt.beeps(), 1);

    h.dialogs.answer = file(QStringLiteral("line1.txt"));
    QVERIFY(writeList(*h.dialogs.answer, sampleList()));
    h.prompt.expect(
        QStringLiteral("File Extension Error !!!\r\nPlease open with .CNV File Extension"), 0x10,
        *h.dialogs.answer, Answer::Ok);
    QVERIFY(!h.commands.open());
    QCOMPARE(h.prompt.beeps(), 2);
    QCOMPARE(snapshot(h), before);
}

void ConversationCommandsTest::failedOpenChangesNothing_data()
{
    QTest::addColumn<QString>("broken");
    for (const char *row : {"companion missing", "list missing", "list is a folder",
                            "empty companion", "49", "10001", "-1000"})
        QTest::newRow(row) << QString::fromLatin1(row);
}

void ConversationCommandsTest::failedOpenChangesNothing()
{
    QFETCH(QString, broken);
    Harness &h = *m_h;
    const QString path = file(QStringLiteral("line1.cnvx"));
    const QString companion = file(QStringLiteral("line1.dde"));
    bool isInterval = false;
    const int interval = broken.toInt(&isInterval);
    QVERIFY(writeList(path, sampleList(qint16(isInterval ? interval : 250))));
    if (broken == QLatin1String("companion missing"))
        QVERIFY(QFile::remove(companion));
    if (broken.startsWith(QLatin1String("list ")))
        QVERIFY(QFile::remove(path));
    if (broken == QLatin1String("list is a folder"))
        QVERIFY(QDir().mkdir(path));
    if (broken == QLatin1String("empty companion")) // interval 0
        QVERIFY(writeFile(companion, QByteArray()));
    const QByteArray companionBefore = readFile(companion);
    editSomething(h);
    const QByteArray before = snapshot(h);
    h.dialogs.answer = path;
    h.prompt.expect(NoFileSelection, 0x16, QStringLiteral("File Open"), Answer::Cancel);

    QVERIFY(!h.commands.open());

    QCOMPARE(snapshot(h), before);
    QCOMPARE(h.establish.ticked(), (QList<int>{1, 2}));
    QCOMPARE(h.prompt.beeps(), 1);
    QCOMPARE(readFile(companion), companionBefore); // never created nor changed
}

void ConversationCommandsTest::saveThenOpenGivesTheListBack()
{
    Harness &h = *m_h;
    QVERIFY(QDir().mkdir(file(QStringLiteral("my.lists"))));
    const QString path = file(QStringLiteral("my.lists/line1.cnv"));
    const ConversationPair list = sampleList(50);
    h.state.Conv = list.conv;
    h.state.Link = list.link;
    h.dialogs.answer = path;

    QVERIFY(h.commands.save());

    QCOMPARE(h.dialogs.calls, QStringList{QStringLiteral("save All File|*.*|.Cnv|*.cnv 2")});
    QCOMPARE(readFile(path).size(), 896);
    QCOMPARE(readFile(file(QStringLiteral("my.lists/line1.dde"))).size(), 33 * 80);
    QCOMPARE(h.caption, QStringLiteral("TELVIOXD"));
    QCOMPARE(h.prompt.beeps(), 0);
    QVERIFY(h.prompt.shown().isEmpty());

    Harness other;
    other.dialogs.answer = path;
    QVERIFY(other.commands.open());
    QCOMPARE(other.state.Conv[0].TypeCode, qint32(0xFFFF9040));
    QCOMPARE(listBytes(other.state.Conv, other.state.Link), listBytes(list.conv, list.link));
    QCOMPARE(other.establish.interval, 50);
    QVERIFY(other.prompt.problems().isEmpty());

    // A list may be saved under any name; its companion still ends in ".dde".
    h.dialogs.answer = file(QStringLiteral("line1.txt"));
    QVERIFY(h.commands.save());
    QCOMPARE(readFile(file(QStringLiteral("line1.dde"))), *encodeCompanion(list.link));
}

void ConversationCommandsTest::saveCancelledOrNotOverwritten()
{
    Harness &h = *m_h;
    QVERIFY(!h.commands.save());
    QCOMPARE(h.prompt.beeps(), 1);
    QVERIFY(h.prompt.shown().isEmpty());

    const QString path = file(QStringLiteral("line1.cnv"));
    const QString companion = file(QStringLiteral("line1.dde"));
    QVERIFY(writeList(path, sampleList()));
    const QByteArray old = readFile(path) + readFile(companion);
    editSomething(h);
    h.dialogs.answer = path;
    h.prompt.expect(Overwrite, 0x24, path, Answer::No);
    QVERIFY(!h.commands.save());
    QCOMPARE(h.prompt.beeps(), 3);
    QCOMPARE(readFile(path) + readFile(companion), old);

    h.prompt.expect(Overwrite, 0x24, path, Answer::Yes);
    QVERIFY(h.commands.save());
    QCOMPARE(h.prompt.beeps(), 5);
    QCOMPARE(readFile(path) + readFile(companion), listBytes(h.state.Conv, h.state.Link));
}

void ConversationCommandsTest::saveRefusesUnwritableLinks_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("text");
    QTest::newRow("73 bytes") << 3 << QString(13, QLatin1Char('i'))
                              << "Link entry 3: service, topic and item together exceed 72 bytes; "
                                 "nothing was saved.";
    QTest::newRow("not one byte a character")
        << 12 << QStringLiteral("\u4e2d")
        << "Link entry 12: service, topic or item holds a character that cannot be stored in the "
           "file; nothing was saved.";
}

void ConversationCommandsTest::saveRefusesUnwritableLinks()
{
    QFETCH(int, entry);
    QFETCH(QString, item);
    QFETCH(QString, text);
    Harness &h = *m_h;
    const QString path = file(QStringLiteral("line1.cnv"));
    QVERIFY(writeList(path, sampleList()));
    const QByteArray old = readFile(path) + readFile(file(QStringLiteral("line1.dde")));
    editSomething(h);
    h.state.Link[size_t(entry)] = {QString(30, QLatin1Char('s')), QString(30, QLatin1Char('t')),
                                   item, 1};
    // Refused before the overwrite question and before anything is written.
    for (const QString &name : {QStringLiteral("line1.cnv"), QStringLiteral("fresh.cnv")}) {
        h.dialogs.answer = file(name);
        h.prompt.expect(text, 0x10, file(name), Answer::Ok);
        QVERIFY(!h.commands.save());
    }
    QCOMPARE(h.prompt.beeps(), 2);
    QCOMPARE(readFile(path) + readFile(file(QStringLiteral("line1.dde"))), old);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2);
}

void ConversationCommandsTest::saveReportsWriteFailure()
{
    Harness &h = *m_h;
    const auto failure = [&h](const QString &path, const QString &failed) {
        const ScriptedPrompt::Message shown = h.prompt.shown().constLast();
        QVERIFY2(shown.text.startsWith(QStringLiteral("Could not write ") + failed) &&
                     shown.text.endsWith(QStringLiteral("\r\nNothing was saved.")),
                 qPrintable(shown.text));
        QCOMPARE(shown.style, 0x10);
        QCOMPARE(shown.title, path);
    };
    // A folder that does not exist.
    h.dialogs.answer = file(QStringLiteral("gone/line1.cnv"));
    QVERIFY(!h.commands.save());
    failure(*h.dialogs.answer, *h.dialogs.answer);
    QCOMPARE(h.prompt.beeps(), 1);

    // The companion's name is taken by a folder: the old list stays whole,
    // although its new CNV file had been written out completely.
    h.prompt.reset();
    const QString path = file(QStringLiteral("line2.cnv"));
    QVERIFY(writeFile(path, "old"));
    QVERIFY(QDir().mkdir(file(QStringLiteral("line2.dde"))));
    h.dialogs.answer = path;
    h.prompt.expect(Overwrite, 0x24, path, Answer::Yes);
    QVERIFY(!h.commands.save());
    failure(path, file(QStringLiteral("line2.dde")));
    QCOMPARE(h.prompt.beeps(), 3);
    QCOMPARE(readFile(path), QByteArray("old"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("line2.cnv")});

    // A list saved as its own companion would be one file.
    h.prompt.reset();
    h.dialogs.answer = file(QStringLiteral("line3.dde"));
    h.prompt.expect(QStringLiteral("A conversation list cannot be saved under the name of its own "
                                   "companion file (.dde); nothing was saved."),
                    0x10, *h.dialogs.answer, Answer::Ok);
    QVERIFY(!h.commands.save());
    QVERIFY(!QFile::exists(*h.dialogs.answer));
    QVERIFY(h.prompt.problems().isEmpty());
    h.prompt.reset(); // the reports above were checked one by one
}

void ConversationCommandsTest::autorunLoadsThenStartsServer()
{
    Harness &h = *m_h;
    const QString folder = file(QStringLiteral("tel.viox")); // a dot in the program's folder
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(writeList(folder + QStringLiteral("/default.cnv"), sampleList(1500)));
    QVERIFY(QFile::exists(folder + QStringLiteral("/default.dde")));
    editSomething(h);

    QVERIFY(h.commands.autorun(folder));

    QCOMPARE(h.serverStarts, 1);
    QCOMPARE(h.ticksAtStart, (QList<int>{0, 5, 9, 31})); // loaded before the start
    QCOMPARE(h.caption, QStringLiteral("Working file:") + folder + QStringLiteral("/default.cnv"));
    QCOMPARE(h.establish.interval, 1500);
    QCOMPARE(h.prompt.beeps(), 1);
    QVERIFY(h.dialogs.calls.isEmpty());

    // A pair the scroll bar cannot take: reported, nothing loaded, no server.
    QVERIFY(writeList(folder + QStringLiteral("/default.cnv"), sampleList(0)));
    editSomething(h);
    const QByteArray before = snapshot(h);
    h.prompt.expect(NoFileSelection, 0x16, QStringLiteral("File Open"), Answer::Continue);
    QVERIFY(!h.commands.autorun(folder));
    QCOMPARE(h.serverStarts, 1);
    QCOMPARE(snapshot(h), before);
}

void ConversationCommandsTest::autorunMissingFile()
{
    for (const QString &missing : {QStringLiteral("default.dde"), QStringLiteral("default.cnv")}) {
        Harness h;
        QVERIFY(writeList(file(QStringLiteral("default.cnv")), sampleList()));
        QVERIFY(QFile::remove(file(missing)));
        editSomething(h);
        const QByteArray before = snapshot(h);
        h.prompt.expect(QStringLiteral("File Not exist !!!") + file(missing), 0,
                        QStringLiteral("TELVIOXD"), Answer::Ok);

        QVERIFY(!h.commands.autorun(m_dir->path()));

        QVERIFY(h.prompt.problems().isEmpty());
        QCOMPARE(h.serverStarts, 0);
        QCOMPARE(snapshot(h), before);
        QCOMPARE(h.prompt.beeps(), 0);
        QVERIFY(!QFile::exists(file(missing)));
    }
}

QTEST_GUILESS_MAIN(ConversationCommandsTest)
#include "tst_conversationcommands.moc"
