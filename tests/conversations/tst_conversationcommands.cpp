#include "core/filedialog.h"
#include "conversations/conversationcommands.h"
#include "device/catalogue.h"
#include "support/scriptedprompt.h"

#include <QtTest>
#include <memory>
#include <set>

using namespace telviox;
using test::ScriptedPrompt;

namespace {

const QString NoFileSelection = QStringLiteral("No File Selection !!!");
const QString Overwrite = QStringLiteral("The file already exist!!!, Overwrite it?");

// The main window, its establish window and the file dialogs as the commands
// see them: a tick changes nothing else; the scroll bar writes the settings entry.
struct Harness final : EstablishView, MainWindowCaption, FileDialogs
{
    Harness()
        : commands(state, prompt, *this, *this, *this, [this] {
              ++serverStarts;
              ticksAtStart = ticks;
          })
    {}
    void setChecked(int index, bool on) override
    {
        on ? void(ticks.insert(index)) : void(ticks.erase(index));
    }
    bool isChecked(int index) const override { return ticks.count(index) != 0; }
    void setIntervalValue(int value) override
    {
        QVERIFY2(intervalAcceptable(value), "the scroll bar refuses this value");
        interval = value;
        label = intervalChanged(state, value);
    }
    void setCaption(const QString &text) override { caption = text; }
    std::optional<QString> getOpenFileName(const QString &, const QString &, int) override
    {
        return answer;
    }
    std::optional<QString> getSaveFileName(const QString &, const QString &, int) override
    {
        return answer;
    }

    SharedState state;
    ScriptedPrompt prompt;
    std::optional<QString> answer;
    std::set<int> ticks;
    int interval = IntervalInitial;
    QString label;
    QString caption = QStringLiteral("TELVIOXD");
    int serverStarts = 0;
    std::set<int> ticksAtStart;
    ConversationFileCommands commands;
};

// Conversations 0, 5, 9 (InUse 2) and 31 configured; 3 has a type but is cleared.
ConversationPair sampleList(qint16 interval = 250)
{
    ConversationPair pair;
    for (int i : {0, 5, 9, 31})
        pair.conv[size_t(i)] = ConvRecord{qint16(i == 9 ? 2 : 1),
                                          catalogue::typeCodeOfName(QStringLiteral("9040")),
                                          9600, qint16(i), 0, 0, 0, 0, 0, 0.0f, 0};
    pair.conv[3].TypeCode = 0x2026;
    pair.link[5] = {QString(30, 's'), QString(30, 't'), QString(12, 'i'), 1};
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
           QByteArray::number(h.interval) + QByteArray::number(h.state.CurConv) +
           QByteArray::number(h.ticks.size());
}

// A table being edited, which differs from sampleList() everywhere it can.
void editSomething(Harness &h)
{
    h.state.Conv[1] = ConvRecord{1, 0x2011, 9600, 1, 0, 1, 0, 0, 0, 2.5f, 0};
    h.state.Link[1] = {QStringLiteral("Calc"), QStringLiteral("Book"), QStringLiteral("A1"), 1};
    setIntervalEntry(h.state, 700);
    h.state.CurConv = 7;
    h.ticks = {1, 2};
}

} // namespace

class ConversationCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void failedOpenChangesNothing_data();
    void failedOpenChangesNothing();
    void saveNotOverwrittenOrRefused();
    void failedSaveKeepsTheOldPair();
    void saveThenLoadGivesTheListBack();

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
    QVERIFY2(m_h->prompt.problems().isEmpty(), qPrintable(m_h->prompt.problems().join('\n')));
}

void ConversationCommandsTest::failedOpenChangesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("broken");
    QTest::newRow("extension") << "line1.txt" << QString();
    for (const char *row : {"cancelled", "companion missing", "list missing", "49", "10001"})
        QTest::newRow(row) << "line1.cnvx" << QString::fromLatin1(row);
}

void ConversationCommandsTest::failedOpenChangesNothing()
{
    QFETCH(QString, name);
    QFETCH(QString, broken);
    Harness &h = *m_h;
    const QString path = file(name);
    const QString companion = file(QStringLiteral("line1.dde"));
    const int interval = broken.toInt();
    QVERIFY(writeList(path, sampleList(qint16(interval ? interval : 250))));
    if (broken.endsWith("missing"))
        QVERIFY(QFile::remove(broken.startsWith("list") ? path : companion));
    const QByteArray companionBefore = readFile(companion);
    editSomething(h);
    const QByteArray before = snapshot(h);
    if (broken != "cancelled")
        h.answer = path;
    if (name.endsWith(".txt"))
        h.prompt.expect("File Extension Error !!!\r\nPlease open with .CNV File Extension", 0x10,
                        path, Answer::Ok);
    else
        h.prompt.expect(NoFileSelection, 0x16, QStringLiteral("File Open"), Answer::Cancel);

    QVERIFY(!h.commands.open());
    QCOMPARE(snapshot(h), before);
    QCOMPARE(h.ticks, (std::set<int>{1, 2}));
    QCOMPARE(h.prompt.beeps(), 1);
    QCOMPARE(readFile(companion), companionBefore); // never created nor changed
}

void ConversationCommandsTest::saveNotOverwrittenOrRefused()
{
    Harness &h = *m_h;
    const QString path = file(QStringLiteral("line1.cnv"));
    const QString companion = file(QStringLiteral("line1.dde"));
    QVERIFY(writeList(path, sampleList()));
    const QByteArray old = readFile(path) + readFile(companion);
    editSomething(h);
    h.answer = path;
    h.prompt.expect(Overwrite, 0x24, path, Answer::No);
    QVERIFY(!h.commands.save());
    QCOMPARE(readFile(path) + readFile(companion), old);

    // 73 bytes of link texts: refused before the question and before any write.
    h.state.Link[3] = {QString(30, 's'), QString(30, 't'), QString(13, 'i'), 1};
    for (const QString &name : {QStringLiteral("line1.cnv"), QStringLiteral("fresh.cnv")}) {
        h.answer = file(name);
        h.prompt.expect("Link entry 3: service, topic and item together exceed 72 bytes; "
                        "nothing was saved.",
                        0x10, file(name), Answer::Ok);
        QVERIFY(!h.commands.save());
    }
    QCOMPARE(readFile(path) + readFile(companion), old);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2);
}

// A save that cannot complete says so and leaves the old pair whole.
void ConversationCommandsTest::failedSaveKeepsTheOldPair()
{
    Harness &h = *m_h;
    // The companion's name is taken by a folder: the new list file had been
    // written out completely, yet the old one must stay.
    const QString path = file(QStringLiteral("line2.cnv"));
    QVERIFY(writeFile(path, "old"));
    QVERIFY(QDir().mkdir(file(QStringLiteral("line2.dde"))));
    h.answer = path;
    h.prompt.expect(Overwrite, 0x24, path, Answer::Yes);
    QVERIFY(!h.commands.save());
    const ScriptedPrompt::Message shown = h.prompt.shown().constLast();
    QVERIFY2(shown.text.startsWith(QStringLiteral("Could not write ") + file("line2.dde")) &&
                 shown.text.endsWith(QStringLiteral("\r\nNothing was saved.")) &&
                 shown.style == 0x10 && shown.title == path,
             qPrintable(shown.text));
    QCOMPARE(readFile(path), QByteArray("old"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("line2.cnv")});

    // Saved as its own companion, the list and its links would be one file.
    h.answer = file(QStringLiteral("line3.dde"));
    h.prompt.expect(QStringLiteral("A conversation list cannot be saved under the name of its own "
                                   "companion file (.dde); nothing was saved."),
                    0x10, *h.answer, Answer::Ok);
    QVERIFY(!h.commands.save());
    QVERIFY(!QFile::exists(*h.answer));
    h.prompt.reset(); // the write failure above was checked by hand
}

void ConversationCommandsTest::saveThenLoadGivesTheListBack()
{
    Harness &h = *m_h;
    const QString folder = file(QStringLiteral("tel.viox")); // a dot in the program's folder
    const QString list = folder + QStringLiteral("/default.cnv");
    const QString companion = folder + QStringLiteral("/default.dde");
    QVERIFY(QDir().mkdir(folder));
    const ConversationPair pair = sampleList(50);
    h.state.Conv = pair.conv;
    h.state.Link = pair.link;
    h.answer = folder + QStringLiteral("/default");
    QVERIFY(h.commands.save());
    QVERIFY(QFile::rename(*h.answer, list));
    QCOMPARE(readFile(list).size(), 896);
    QCOMPARE(readFile(companion).size(), 33 * 80);

    editSomething(h);
    QVERIFY(h.commands.autorun(folder));
    QCOMPARE(h.serverStarts, 1);
    QCOMPARE(h.ticksAtStart, (std::set<int>{0, 5, 9, 31})); // loaded before the start
    QCOMPARE(h.caption, QStringLiteral("Working file:") + list);
    QCOMPARE(listBytes(h.state.Conv, h.state.Link), listBytes(pair.conv, pair.link));

    // Open loads the same pair over a table being edited, and only the tables.
    editSomething(h);
    h.answer = list;
    QVERIFY(h.commands.open());
    QCOMPARE(h.ticks, (std::set<int>{0, 5, 9, 31}));
    QCOMPARE(h.label, QStringLiteral("Timer Interval: 50 mSec"));
    QCOMPARE(h.state.CurConv, qint16(7));

    // Without the companion: reported, nothing loaded, no server.
    QVERIFY(QFile::remove(companion));
    editSomething(h);
    const QByteArray before = snapshot(h);
    h.prompt.expect(QStringLiteral("File Not exist !!!") + companion, 0,
                        QStringLiteral("Telvioxd"), Answer::Ok);
    QVERIFY(!h.commands.autorun(folder));
    QCOMPARE(h.serverStarts, 1);
    QCOMPARE(snapshot(h), before);
    QVERIFY(!QFile::exists(companion));
}

QTEST_GUILESS_MAIN(ConversationCommandsTest)
#include "tst_conversationcommands.moc"
