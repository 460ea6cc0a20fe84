#include "app/filedialog.h"
#include "conversations/conversationcommands.h"
#include "conversations/conversationtable.h"
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
const QString FileOpenTitle = QStringLiteral("File Open");
const int NoFileSelectionStyle = 0x16;

class FakeDialogs final : public FileDialogs
{
public:
    struct Call
    {
        QString caption;
        QString filter;
        int filterIndex = 0;
    };

    std::optional<QString> getOpenFileName(const QString &caption, const QString &filter,
                                           int filterIndex) override
    {
        openCalls.append({caption, filter, filterIndex});
        return answer;
    }
    std::optional<QString> getSaveFileName(const QString &caption, const QString &filter,
                                           int filterIndex) override
    {
        saveCalls.append({caption, filter, filterIndex});
        return answer;
    }

    std::optional<QString> answer;
    QList<Call> openCalls;
    QList<Call> saveCalls;
};

// Behaves as the window does: ticks change nothing else, the scroll bar takes
// only values in its range and its change writes the settings entry.
class FakeEstablish final : public EstablishView
{
public:
    explicit FakeEstablish(SharedState &state) : m_state(state) {}

    void setChecked(int index, bool ticked) override { checks.at(size_t(index)) = ticked; }
    bool isChecked(int index) const override { return checks.at(size_t(index)); }
    void setIntervalValue(int value) override
    {
        ++intervalSets;
        if (!intervalAcceptable(value)) {
            refusedValues << value;
            return;
        }
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
    QString label = intervalLabel(IntervalInitial);
    int intervalSets = 0;
    QList<int> refusedValues;

private:
    SharedState &m_state;
};

class FakeCaption final : public MainWindowCaption
{
public:
    void setCaption(const QString &text) override { caption = text; }
    QString caption = QStringLiteral("TELVIOXD");
};

struct Harness
{
    Harness()
        : commands(state, prompt, dialogs, establish, caption, [this] {
              ++serverStarts;
              ticksAtStart = establish.ticked();
          })
    {}

    SharedState state;
    ScriptedPrompt prompt;
    FakeDialogs dialogs;
    FakeEstablish establish{state};
    FakeCaption caption;
    int serverStarts = 0;
    QList<int> ticksAtStart;
    ConversationFileCommands commands;
};

float floatOfBits(quint32 bits)
{
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

LinkRecord link(const QString &service, const QString &topic, const QString &item, qint16 linked)
{
    LinkRecord r;
    r.Service = service;
    r.Topic = topic;
    r.Item = item;
    r.Linked = linked;
    return r;
}

// A list with conversations 0, 5, 9 and 31 configured (9 with an InUse other
// than 1), a four-digit type code with its upper bits set and odd OutValues.
ConversationPair sampleList(qint16 interval = 250)
{
    ConversationPair pair;
    for (int i : {0, 5, 9, 31}) {
        ConvRecord &r = pair.conv[size_t(i)];
        r.InUse = i == 9 ? 2 : 1;
        r.TypeCode = catalogue::typeCodeOfName(QStringLiteral("9040"));
        r.BaudRate = 9600;
        r.Address = qint16(i);
        r.Channels = 0x80;
        r.Slot = 3;
    }
    pair.conv[3].TypeCode = 0x2026; // configured once, cleared since
    pair.conv[5].OutValue = floatOfBits(0x7FC12345u);
    pair.conv[31].OutValue = floatOfBits(0x00000001u);
    pair.link[5] = link(QString(30, QLatin1Char('s')), QString(30, QLatin1Char('t')),
                        QString(12, QLatin1Char('i')), 1);
    pair.link[9] = link("Plant", "Sheet1", "R1C1", 2);
    pair.link[IntervalEntry] = link("Timer Interval", {}, {}, interval);
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
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeList(const QString &cnvPath, const ConversationPair &pair)
{
    const auto links = encodeCompanion(pair.link);
    return links && writeFile(cnvPath, encodeCnv(pair.conv)) &&
           writeFile(companionPath(cnvPath), *links);
}

// Everything a load may change or must leave alone, as bytes.
QByteArray snapshot(const SharedState &state)
{
    QByteArray all = encodeCnv(state.Conv) + encodeCompanion(state.Link).value_or("unwritable");
    all += QByteArray::number(state.CurConv) + ',' + QByteArray::number(state.ComPort) + ',';
    all += QByteArray(reinterpret_cast<const char *>(state.PollEnabled.data()), ConvCount);
    return all;
}

// An edited table that differs from sampleList() everywhere it can.
void editSomething(Harness &h)
{
    h.state.Conv[1].InUse = 1;
    h.state.Conv[1].TypeCode = 0x2011;
    h.state.Conv[7].OutValue = 2.5f;
    h.state.Link[1] = link("Calc", "Book", "A1", 1);
    setIntervalEntry(h.state, 700);
    h.state.CurConv = 7;
    h.state.ComPort = 3;
    h.state.PollEnabled[1] = 1;
    h.establish.checks[1] = true;
    h.establish.checks[2] = true;
}

} // namespace

class ConversationCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void wholeRecordOperations();
    void openLoadsThePair();
    void openCancelledOrWrongExtension();
    void failedOpenLeavesEverything_data();
    void failedOpenLeavesEverything();
    void saveWritesThePair();
    void saveThenOpenGivesTheListBack();
    void saveCancelled();
    void overwriteQuestion_data();
    void overwriteQuestion();
    void saveRefusesUnwritableLinks_data();
    void saveRefusesUnwritableLinks();
    void saveReportsWriteFailure();
    void autorunLoadsThenStartsServer();
    void autorunMissingFile_data();
    void autorunMissingFile();
    void autorunUnloadablePair();

private:
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
    QVERIFY2(m_h->establish.refusedValues.isEmpty(),
             "an interval outside 50..10000 reached the bar");
    m_h.reset();
    m_dir.reset();
}

void ConversationCommandsTest::wholeRecordOperations()
{
    SharedState state;
    state.Conv = sampleList().conv;
    state.Link = sampleList().link;
    for (ConvRecord &r : state.Conv)
        r.LinkActive = 1;

    clearConversation(state, 5);
    QCOMPARE(state.Conv[5].InUse, qint16(0));
    QCOMPARE(state.Conv[5].TypeCode, 0);
    // Everything else stays for the next time the box is ticked.
    QCOMPARE(state.Conv[5].BaudRate, 9600);
    QCOMPARE(state.Conv[5].Slot, qint16(3));
    QCOMPARE(state.Conv[0].InUse, qint16(1));

    state.CurConv = 9;
    resetForEstablishWindow(state);
    QCOMPARE(state.CurConv, qint16(0));
    for (int n = 0; n < ConvCount; ++n)
        QCOMPARE(state.Link[size_t(n)].Linked, qint16(0));
    QCOMPARE(state.Link[5].Service, QString(30, QLatin1Char('s')));
    QCOMPARE(state.Link[IntervalEntry].Linked, qint16(250)); // the interval is no link

    resetLinkActive(state);
    for (const ConvRecord &r : state.Conv)
        QCOMPARE(r.LinkActive, qint16(0));

    state.Link[IntervalEntry] = link("x", "y", "z", 1);
    setIntervalEntry(state, 10000);
    QCOMPARE(state.Link[IntervalEntry].Service, QStringLiteral("Timer Interval"));
    QVERIFY(state.Link[IntervalEntry].Topic.isEmpty() && state.Link[IntervalEntry].Item.isEmpty());
    QCOMPARE(state.Link[IntervalEntry].Linked, qint16(10000));

    QCOMPARE(intervalChanged(state, 50), QStringLiteral("Timer Interval: 50 mSec"));
    QCOMPARE(state.Link[IntervalEntry].Linked, qint16(50));
}

void ConversationCommandsTest::openLoadsThePair()
{
    Harness &h = *m_h;
    const QString path = m_dir->filePath(QStringLiteral("LINE1.CNV"));
    const ConversationPair list = sampleList();
    QVERIFY(writeList(path, list));
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("LINE1.dde"))));
    editSomething(h);
    h.dialogs.answer = path;

    QVERIFY(h.commands.open());

    QCOMPARE(h.dialogs.openCalls.size(), 1);
    QCOMPARE(h.dialogs.openCalls[0].filter, QStringLiteral("All File|*.*|.Cnv|*.CNV"));
    QCOMPARE(h.dialogs.openCalls[0].filterIndex, 2);
    QCOMPARE(h.caption.caption, QStringLiteral("Working file:") + path);
    QCOMPARE(h.establish.ticked(), (QList<int>{0, 5, 9, 31}));
    QCOMPARE(encodeCnv(h.state.Conv), encodeCnv(list.conv));
    QCOMPARE(*encodeCompanion(h.state.Link), *encodeCompanion(list.link));
    QCOMPARE(h.establish.interval, 250);
    QCOMPARE(h.establish.label, QStringLiteral("Timer Interval: 250 mSec"));
    QCOMPARE(h.state.Link[IntervalEntry].Linked, qint16(250));
    // Loading replaces the tables only.
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
    const QByteArray before = snapshot(h.state);

    h.prompt.expect(NoFileSelection, NoFileSelectionStyle, FileOpenTitle, Answer::TryAgain);
    h.dialogs.answer = std::nullopt;
    QVERIFY(!h.commands.open());
    QCOMPARE(h.prompt.beeps(), 1);

    const QString text = m_dir->filePath(QStringLiteral("line1.txt"));
    QVERIFY(writeList(text, sampleList()));
    h.prompt.expect(
        QStringLiteral("File Extension Error !!!\r\nPlease open with .CNV File Extension"), 0x10,
        text, Answer::Ok);
    h.dialogs.answer = text;
    QVERIFY(!h.commands.open());
    QCOMPARE(h.prompt.beeps(), 2);

    QCOMPARE(snapshot(h.state), before);
    QCOMPARE(h.establish.ticked(), (QList<int>{1, 2}));
    QCOMPARE(h.caption.caption, QStringLiteral("TELVIOXD"));
}

void ConversationCommandsTest::failedOpenLeavesEverything_data()
{
    QTest::addColumn<QString>("broken");
    QTest::newRow("companion missing") << "companion missing";
    QTest::newRow("list missing") << "list missing";
    QTest::newRow("list is a folder") << "list is a folder";
    QTest::newRow("interval 0 (empty companion)") << "empty companion";
    QTest::newRow("interval 49") << "49";
    QTest::newRow("interval 10001") << "10001";
    QTest::newRow("interval negative") << "-1000";
}

void ConversationCommandsTest::failedOpenLeavesEverything()
{
    QFETCH(QString, broken);
    Harness &h = *m_h;
    const QString path = m_dir->filePath(QStringLiteral("line1.cnvx"));
    const QString companion = m_dir->filePath(QStringLiteral("line1.dde"));
    bool isNumber = false;
    const int interval = broken.toInt(&isNumber);
    QVERIFY(writeList(path, sampleList(qint16(isNumber ? interval : 250))));
    if (broken == QLatin1String("companion missing")) {
        QVERIFY(QFile::remove(companion));
    } else if (broken == QLatin1String("list missing")) {
        QVERIFY(QFile::remove(path));
    } else if (broken == QLatin1String("list is a folder")) {
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkdir(path));
    } else if (broken == QLatin1String("empty companion")) {
        QVERIFY(writeFile(companion, QByteArray()));
    }
    const QByteArray companionBefore = readFile(companion);
    editSomething(h);
    const QByteArray before = snapshot(h.state);
    h.dialogs.answer = path;
    h.prompt.expect(NoFileSelection, NoFileSelectionStyle, FileOpenTitle, Answer::Cancel);

    QVERIFY(!h.commands.open());

    QCOMPARE(snapshot(h.state), before);
    QCOMPARE(h.establish.ticked(), (QList<int>{1, 2}));
    QCOMPARE(h.establish.intervalSets, 0);
    QCOMPARE(h.caption.caption, QStringLiteral("TELVIOXD"));
    QCOMPARE(h.prompt.beeps(), 1);
    // Opening creates nothing and changes no file.
    QCOMPARE(QFile::exists(companion), broken != QLatin1String("companion missing"));
    QCOMPARE(readFile(companion), companionBefore);
}

void ConversationCommandsTest::saveWritesThePair()
{
    Harness &h = *m_h;
    const ConversationPair list = sampleList(10000);
    h.state.Conv = list.conv;
    h.state.Link = list.link;
    const QByteArray before = snapshot(h.state);
    // Any name will do for a save; the companion still ends in ".dde".
    const QString path = m_dir->filePath(QStringLiteral("line1.txt"));
    h.dialogs.answer = path;

    QVERIFY(h.commands.save());

    QCOMPARE(h.dialogs.saveCalls.size(), 1);
    QCOMPARE(h.dialogs.saveCalls[0].filter, QStringLiteral("All File|*.*|.Cnv|*.cnv"));
    QCOMPARE(h.dialogs.saveCalls[0].filterIndex, 2);
    const QByteArray cnv = readFile(path);
    const QByteArray links = readFile(m_dir->filePath(QStringLiteral("line1.dde")));
    QCOMPARE(cnv.size(), 896);
    QCOMPARE(links.size(), 33 * 80);
    QCOMPARE(cnv, encodeCnv(list.conv));
    QCOMPARE(links, *encodeCompanion(list.link));
    QCOMPARE(snapshot(h.state), before);
    QCOMPARE(h.caption.caption, QStringLiteral("TELVIOXD"));
    QCOMPARE(h.prompt.beeps(), 0);
    QVERIFY(h.prompt.shown().isEmpty());
}

void ConversationCommandsTest::saveThenOpenGivesTheListBack()
{
    const QString path = m_dir->filePath(QStringLiteral("my.lists/line1.cnv"));
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("my.lists"))));
    const ConversationPair list = sampleList(50);
    {
        Harness &h = *m_h;
        h.state.Conv = list.conv;
        h.state.Link = list.link;
        h.dialogs.answer = path;
        QVERIFY(h.commands.save());
    }
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("my.lists/line1.dde"))));

    m_h = std::make_unique<Harness>();
    Harness &h = *m_h;
    h.dialogs.answer = path;
    QVERIFY(h.commands.open());
    QCOMPARE(h.state.Conv[0].TypeCode, qint32(0xFFFF9040));
    QCOMPARE(encodeCnv(h.state.Conv), encodeCnv(list.conv));
    QCOMPARE(h.state.Link[5].Item, QString(12, QLatin1Char('i')));
    QCOMPARE(*encodeCompanion(h.state.Link), *encodeCompanion(list.link));
    QCOMPARE(h.establish.interval, 50);
}

void ConversationCommandsTest::saveCancelled()
{
    Harness &h = *m_h;
    h.dialogs.answer = std::nullopt;
    QVERIFY(!h.commands.save());
    QCOMPARE(h.prompt.beeps(), 1);
    QVERIFY(h.prompt.shown().isEmpty());
    QVERIFY(QDir(m_dir->path()).isEmpty());
}

void ConversationCommandsTest::overwriteQuestion_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::newRow("no") << Answer::No;
    QTest::newRow("yes") << Answer::Yes;
}

void ConversationCommandsTest::overwriteQuestion()
{
    QFETCH(Answer, answer);
    Harness &h = *m_h;
    const QString path = m_dir->filePath(QStringLiteral("line1.cnv"));
    const QString companion = m_dir->filePath(QStringLiteral("line1.dde"));
    QVERIFY(writeList(path, sampleList()));
    const QByteArray oldCnv = readFile(path), oldLinks = readFile(companion);
    editSomething(h);
    h.dialogs.answer = path;
    h.prompt.expect(QStringLiteral("The file already exist!!!, Overwrite it?"), 0x24, path, answer);

    QCOMPARE(h.commands.save(), answer == Answer::Yes);

    QCOMPARE(h.prompt.beeps(), 2);
    if (answer == Answer::No) {
        QCOMPARE(readFile(path), oldCnv);
        QCOMPARE(readFile(companion), oldLinks);
    } else {
        QCOMPARE(readFile(path), encodeCnv(h.state.Conv));
        QCOMPARE(readFile(companion), *encodeCompanion(h.state.Link));
    }
}

void ConversationCommandsTest::saveRefusesUnwritableLinks_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<LinkRecord>("record");
    QTest::addColumn<QString>("text");
    QTest::newRow("73 bytes") << 3
                              << link(QString(30, QLatin1Char('s')), QString(30, QLatin1Char('t')),
                                      QString(13, QLatin1Char('i')), 1)
                              << "Link entry 3: service, topic and item together exceed 72 bytes; "
                                 "nothing was saved.";
    QTest::newRow("not one byte a character")
        << 12 << link(QStringLiteral("\u4e2d"), "t", "i", 1)
        << "Link entry 12: service, topic or item holds a character that cannot be stored in the "
           "file; nothing was saved.";
}

void ConversationCommandsTest::saveRefusesUnwritableLinks()
{
    QFETCH(int, entry);
    QFETCH(LinkRecord, record);
    QFETCH(QString, text);
    Harness &h = *m_h;
    const QString path = m_dir->filePath(QStringLiteral("line1.cnv"));
    const QString companion = m_dir->filePath(QStringLiteral("line1.dde"));
    QVERIFY(writeList(path, sampleList()));
    const QByteArray oldCnv = readFile(path), oldLinks = readFile(companion);
    editSomething(h);
    h.state.Link[size_t(entry)] = record;
    h.dialogs.answer = path;
    // Refused before anything is asked or written.
    h.prompt.expect(text, 0x10, path, Answer::Ok);

    QVERIFY(!h.commands.save());

    QCOMPARE(h.prompt.beeps(), 1);
    QCOMPARE(readFile(path), oldCnv);
    QCOMPARE(readFile(companion), oldLinks);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2);

    // A new name: nothing is created either.
    h.dialogs.answer = m_dir->filePath(QStringLiteral("fresh.cnv"));
    h.prompt.expect(text, 0x10, *h.dialogs.answer, Answer::Ok);
    QVERIFY(!h.commands.save());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2);
}

void ConversationCommandsTest::saveReportsWriteFailure()
{
    Harness &h = *m_h;
    h.state.Conv = sampleList().conv;

    // A folder that does not exist.
    const QString lost = m_dir->filePath(QStringLiteral("gone/line1.cnv"));
    h.dialogs.answer = lost;
    QVERIFY(!h.commands.save());
    QCOMPARE(h.prompt.beeps(), 1);
    QCOMPARE(h.prompt.shown().size(), 1);
    ScriptedPrompt::Message shown = h.prompt.shown().constFirst();
    QVERIFY2(shown.text.startsWith(QStringLiteral("Could not write ") + lost),
             qPrintable(shown.text));
    QVERIFY(shown.text.endsWith(QStringLiteral("\r\nNothing was saved.")));
    QCOMPARE(shown.style, 0x10);
    QCOMPARE(shown.title, lost);

    // The companion's name is taken by a folder: the old list stays whole.
    h.prompt.reset();
    const QString path = m_dir->filePath(QStringLiteral("line2.cnv"));
    QVERIFY(writeFile(path, "old"));
    QVERIFY(QDir().mkdir(m_dir->filePath(QStringLiteral("line2.dde"))));
    h.dialogs.answer = path;
    h.prompt.expect(QStringLiteral("The file already exist!!!, Overwrite it?"), 0x24, path,
                    Answer::Yes);
    QVERIFY(!h.commands.save());
    QCOMPARE(h.prompt.beeps(), 3);
    QCOMPARE(h.prompt.shown().size(), 2);
    shown = h.prompt.shown().constLast();
    QVERIFY2(shown.text.startsWith(QStringLiteral("Could not write ") +
                                   m_dir->filePath(QStringLiteral("line2.dde"))),
             qPrintable(shown.text));
    QVERIFY(shown.text.endsWith(QStringLiteral("\r\nNothing was saved.")));
    QCOMPARE(readFile(path), QByteArray("old"));

    // Saving under a name that is its own companion would leave one file.
    h.prompt.reset();
    const QString self = m_dir->filePath(QStringLiteral("line3.dde"));
    h.dialogs.answer = self;
    h.prompt.expect(QStringLiteral("A conversation list cannot be saved under the name of its own "
                                   "companion file (.dde); nothing was saved."),
                    0x10, self, Answer::Ok);
    QVERIFY(!h.commands.save());
    QCOMPARE(h.prompt.beeps(), 1);
    QVERIFY(!QFile::exists(self));

    // The failures above were inspected one by one.
    h.prompt.reset();
}

void ConversationCommandsTest::autorunLoadsThenStartsServer()
{
    Harness &h = *m_h;
    // A dot in the program's folder keeps the companion in that folder.
    const QString folder = m_dir->filePath(QStringLiteral("tel.viox"));
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/default.cnv");
    QVERIFY(writeList(path, sampleList(1500)));
    editSomething(h);

    QVERIFY(h.commands.autorun(folder));

    QCOMPARE(h.serverStarts, 1);
    // The server starts from the loaded check boxes.
    QCOMPARE(h.ticksAtStart, (QList<int>{0, 5, 9, 31}));
    QCOMPARE(h.caption.caption, QStringLiteral("Working file:") + path);
    QCOMPARE(h.establish.interval, 1500);
    QCOMPARE(encodeCnv(h.state.Conv), encodeCnv(sampleList().conv));
    QCOMPARE(h.prompt.beeps(), 1);
    QVERIFY(h.dialogs.openCalls.isEmpty());
}

void ConversationCommandsTest::autorunMissingFile_data()
{
    QTest::addColumn<QString>("missing");
    QTest::newRow("companion") << "default.dde";
    QTest::newRow("list") << "default.cnv";
}

void ConversationCommandsTest::autorunMissingFile()
{
    QFETCH(QString, missing);
    Harness &h = *m_h;
    const QString folder = m_dir->path();
    QVERIFY(writeList(folder + QStringLiteral("/default.cnv"), sampleList()));
    const QString gone = folder + QLatin1Char('/') + missing;
    QVERIFY(QFile::remove(gone));
    editSomething(h);
    const QByteArray before = snapshot(h.state);
    h.prompt.expect(QStringLiteral("File Not exist !!!") + gone, 0, QStringLiteral("TELVIOXD"),
                    Answer::Ok);

    QVERIFY(!h.commands.autorun(folder));

    QCOMPARE(h.serverStarts, 0);
    QCOMPARE(snapshot(h.state), before);
    QCOMPARE(h.establish.ticked(), (QList<int>{1, 2}));
    QCOMPARE(h.caption.caption, QStringLiteral("TELVIOXD"));
    QCOMPARE(h.prompt.beeps(), 0);
    QVERIFY(!QFile::exists(gone));
}

void ConversationCommandsTest::autorunUnloadablePair()
{
    Harness &h = *m_h;
    const QString folder = m_dir->path();
    QVERIFY(writeList(folder + QStringLiteral("/default.cnv"), sampleList(0)));
    editSomething(h);
    const QByteArray before = snapshot(h.state);
    h.prompt.expect(NoFileSelection, NoFileSelectionStyle, FileOpenTitle, Answer::Continue);

    QVERIFY(!h.commands.autorun(folder));

    QCOMPARE(h.serverStarts, 0);
    QCOMPARE(snapshot(h.state), before);
    QCOMPARE(h.prompt.beeps(), 1);
}

QTEST_GUILESS_MAIN(ConversationCommandsTest)
#include "tst_conversationcommands.moc"
