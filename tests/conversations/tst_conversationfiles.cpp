#include "conversations/conversationdescription.h"
#include "conversations/conversationfiles.h"
#include "device/catalogue.h"

#include <QRandomGenerator>
#include <QtTest>
#include <cstring>

using namespace telviox;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
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

} // namespace

class ConversationFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void cnvKeepsEveryBit();
    void companionLayoutAndLimits();
    void companionNeverReadsPastItsRecord();
    void recordIndexesOutsideTheTables();
    void failedPairWriteKeepsTheOldPair_data();
    void failedPairWriteKeepsTheOldPair();
    void names_data();
    void names();
};

void ConversationFilesTest::cnvKeepsEveryBit()
{
    // InUse, TypeCode 0x9040 widened, 9600 bit/s, address 10, checksum,
    // channel 0, LinkActive, IoType 2, OutData 0x1234, 1.5, slot 3.
    const QByteArray record =
        hex("0100 4090ffff 80250000 0a00 0100 8000 0000 0200 3412 0000c03f 0300");
    // A short file: the rest of record 6 reads as zeros.
    ConvTable conv = decodeCnv(QByteArray(5 * 28, '\x11') + record + hex("01004090"));
    const ConvRecord &r = conv[5];
    QCOMPARE(r.TypeCode, catalogue::typeCodeOfName(QStringLiteral("9040")));
    QCOMPARE(QList<int>({r.InUse, r.BaudRate, r.Address, r.Checksum, r.Channels, r.LinkActive,
                         r.IoType, r.OutData, r.Slot}),
             QList<int>({1, 9600, 10, 1, 0x80, 0, 2, 0x1234, 3}));
    QCOMPARE(r.OutValue, 1.5f);
    QCOMPARE(conv[4].Slot, qint16(0x1111));
    QCOMPARE(conv[6].TypeCode, qint32(0x9040));

    std::memcpy(&conv[1].OutValue, "\x45\x23\xC1\x7F", 4); // a NaN with a payload
    QCOMPARE(encodeCnv(conv).size(), 896);
    QCOMPARE(encodeCnv(conv).mid(5 * 28, 28), record);
    const float back = decodeCnv(encodeCnv(conv))[1].OutValue;
    QCOMPARE(std::memcmp(&back, "\x45\x23\xC1\x7F", 4), 0);
    // Any 896 bytes come back unchanged: every byte belongs to exactly one field.
    QRandomGenerator random(20240611);
    QByteArray noise(CnvFile::Size, '\0');
    for (char &c : noise)
        c = char(random.bounded(256));
    QCOMPARE(encodeCnv(decodeCnv(noise)), noise);
}

void ConversationFilesTest::companionLayoutAndLimits()
{
    // Length-prefixed texts, then zero filler to 80; one byte a character.
    QCOMPARE(*encodeLinkRecord(LinkRecord{QStringLiteral("Caf\u00e9"), "Sheet1", "R1C1", -2}),
             hex("0400") + "Caf" + hex("e90600") + "Sheet1" + hex("0400") + "R1C1" + hex("feff") +
                 QByteArray(80 - 22, '\0'));

    LinkTable table{};
    // 72 bytes: fits.
    table[17] = LinkRecord{QString(30, 's'), QString(30, 't'), QString(12, 'i'), 2};
    table[32] = LinkRecord{"Timer Interval", {}, {}, 10000};
    const auto file = encodeCompanion(table);
    QVERIFY(file);
    QCOMPARE(file->size(), 33 * 80);
    const LinkTable back = decodeCompanion(*file);
    QCOMPARE(back[17].Item, table[17].Item);
    QCOMPARE(back[32].Linked, qint16(10000));
    QCOMPARE(*encodeCompanion(back), *file);

    table[17].Item += QLatin1Char('x'); // 73 bytes
    QCOMPARE(linkRecordFit(table[17]), LinkFit::TooLong);
    QVERIFY(!encodeCompanion(table));
    QCOMPARE(linkRecordFit(LinkRecord{{}, QStringLiteral("\u20ac"), {}, 0}), LinkFit::NotLatin1);
}

void ConversationFilesTest::companionNeverReadsPastItsRecord()
{
    QByteArray file;
    file += hex("c800") + QByteArray(78, 'z');                      // service claims 200 bytes
    file += hex("0200") + "ok" + hex("4b00") + QByteArray(74, 'q'); // topic reaches 1 past
    file += hex("4e00") + QByteArray(78, 'f');                      // service fills the record
    file += *encodeLinkRecord(LinkRecord{"srv", "top", "itm", 1});        // read in its own place
    file += hex("0300") + "abc" + hex("0500") + "to";               // the file ends in a topic

    const LinkTable t = decodeCompanion(file);
    QVERIFY(t[0].Service.isEmpty() && t[0].Topic.isEmpty() && t[0].Linked == 0);
    QCOMPARE(t[1].Service, QStringLiteral("ok"));
    QVERIFY(t[1].Topic.isEmpty() && t[1].Item.isEmpty() && t[1].Linked == 0);
    QCOMPARE(t[2].Service, QString(78, 'f'));
    QVERIFY(t[2].Topic.isEmpty());
    QCOMPARE(t[3].Service + t[3].Topic + t[3].Item, QStringLiteral("srvtopitm"));
    QCOMPARE(t[3].Linked, qint16(1));
    // Beyond the end of the file everything is zero.
    QCOMPARE(t[4].Topic, QStringLiteral("to") + QString(3, QChar(0)));
    QCOMPARE(t[4].Linked, qint16(0));
}

void ConversationFilesTest::recordIndexesOutsideTheTables()
{
    // Files longer than their tables: a record past the table must not be
    // read from them, one before it not from before the buffer.
    const QByteArray cnv(34 * CnvFile::RecordSize, '\x11');
    const QByteArray companion = encodeLinkRecord({"srv", "top", "itm", 1})->repeated(35);
    for (int index : {-1, ConvCount, 32767, -32768}) {
        QCOMPARE(encodeConvRecord(decodeConvRecord(cnv, index)), QByteArray(28, '\0'));
    }
    for (int index : {-1, LinkCount, 32767, -32768}) {
        const LinkRecord r = decodeLinkRecord(companion, index);
        QVERIFY(r.Service.isEmpty() && r.Topic.isEmpty() && r.Item.isEmpty() && r.Linked == 0);
    }
    QCOMPARE(decodeLinkRecord(companion, IntervalEntry).Service, QStringLiteral("srv"));

    SharedState state;
    state.Conv = decodeCnv(cnv);
    for (int index : {-1, ConvCount}) {
        clearConversation(state, index);
        QCOMPARE(conversationDescription(state, index), QString());
    }
    QCOMPARE(encodeCnv(state.Conv), cnv.left(CnvFile::Size));
}

void ConversationFilesTest::failedPairWriteKeepsTheOldPair_data()
{
    QTest::addColumn<bool>("oldPair");
    QTest::addColumn<int>("failing"); // a PairStep, -1 none
    QTest::addColumn<bool>("saved");
    const int cnv = int(PairStep::ReplaceCnv), companion = int(PairStep::ReplaceCompanion);
    QTest::newRow("companion fails after the list file") << true << companion << false;
    QTest::newRow("companion fails, no pair before") << false << companion << false;
    QTest::newRow("list file fails") << true << cnv << false;
    QTest::newRow("both replaced") << true << -1 << true;
}

void ConversationFilesTest::failedPairWriteKeepsTheOldPair()
{
    QFETCH(bool, oldPair);
    QFETCH(int, failing);
    QFETCH(bool, saved);
    QTemporaryDir dir;
    const QString cnvPath = dir.filePath(QStringLiteral("line1.cnv"));
    const QString companion = companionPath(cnvPath);
    if (oldPair)
        QVERIFY(writeFile(cnvPath, "old list") && writeFile(companion, "old links"));

    QList<PairStep> steps;
    const WriteOutcome outcome =
        writePair(cnvPath, "new list", companion, "new links", [&](PairStep step) {
            steps << step;
            return int(step) == failing;
        });

    QCOMPARE(outcome.ok, saved);
    QVERIFY(!outcome.cnvReplaced);
    const QList<PairStep> expectedSteps =
        failing == int(PairStep::ReplaceCnv)
            ? QList<PairStep>{PairStep::ReplaceCnv}
            : QList<PairStep>{PairStep::ReplaceCnv, PairStep::ReplaceCompanion};
    QCOMPARE(steps, expectedSteps);
    if (!saved)
        QCOMPARE(outcome.failedPath, failing == int(PairStep::ReplaceCnv) ? cnvPath : companion);
    const QByteArray before = oldPair ? QByteArray("old list|old links") : "(none)|(none)";
    QCOMPARE(readFile(cnvPath) + '|' + readFile(companion),
             saved ? QByteArray("new list|new links") : before);
    // No temporary file is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(),
             oldPair || saved ? 2 : 0);
}

void ConversationFilesTest::names_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("companion");
    QTest::addColumn<bool>("opens");
    QTest::newRow("mixed case") << "/plant/LINE1.Cnv" << "/plant/LINE1.dde" << true;
    QTest::newRow("three compared") << "/plant/line1.cnvx" << "/plant/line1.dde" << true;
    QTest::newRow("txt") << "/plant/line1.txt" << "/plant/line1.dde" << false;
    QTest::newRow("last dot") << "/plant/line.1.cnv" << "/plant/line.1.dde" << true;
    QTest::newRow("dot in folder") << "/my.plant/line1" << "/my.plant/line1.dde" << false;
    QTest::newRow("ends in dot") << "/plant/line1." << "/plant/line1.dde" << false;
}

void ConversationFilesTest::names()
{
    QFETCH(QString, path);
    QFETCH(QString, companion);
    QFETCH(bool, opens);
    QCOMPARE(companionPath(path), companion);
    QCOMPARE(hasCnvExtension(path), opens);
}

QTEST_GUILESS_MAIN(ConversationFilesTest)
#include "tst_conversationfiles.moc"
