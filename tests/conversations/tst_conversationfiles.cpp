#include "conversations/conversationfiles.h"
#include "device/catalogue.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <unistd.h>

using namespace telviox;

namespace {

float floatOfBits(quint32 bits)
{
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

quint32 bitsOfFloat(float value)
{
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
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

LinkRecord link(const QString &service, const QString &topic, const QString &item, qint16 linked)
{
    LinkRecord r;
    r.Service = service;
    r.Topic = topic;
    r.Item = item;
    r.Linked = linked;
    return r;
}

} // namespace

class ConversationFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void cnvRoundTripKeepsEveryBit();
    void cnvRecordReadFieldByField();
    void cnvShortFileReadsZeros();
    void companionRecordLayout();
    void companionTextLimits();
    void companionLengthsPastTheRecord();
    void companionShortFileReadsEmpty();
    void companionRoundTrip();
    void companionName_data();
    void companionName();
    void cnvExtension_data();
    void cnvExtension();
    void fileExist();
    void readPairCreatesNothing();
    void writePairReplacesBothOrNeither();
};

void ConversationFilesTest::cnvRoundTripKeepsEveryBit()
{
    ConvTable conv{};
    const quint32 outBits[] = {0x7FC12345u /* NaN with payload */, 0x00000001u /* denormal */,
                               0x80000000u /* -0 */, 0x3FC00000u /* 1.5 */};
    for (int i = 0; i < ConvCount; ++i) {
        ConvRecord &r = conv[size_t(i)];
        r.InUse = qint16(i % 3 == 0 ? 1 : 0);
        r.TypeCode = i % 2 ? catalogue::typeCodeOfName(QStringLiteral("9040")) : 0x92027;
        r.BaudRate = 115200 - i;
        r.Address = qint16(255 - i);
        r.Checksum = qint16(i & 1);
        r.Channels = qint16(0x80 >> (i % 8));
        r.LinkActive = qint16(i % 2);
        r.IoType = qint16(i % 4);
        r.OutData = qint16(-1 - i);
        r.OutValue = floatOfBits(outBits[i % 4]);
        r.Slot = qint16(i % 8);
    }
    QCOMPARE(conv[1].TypeCode, qint32(0xFFFF9040));

    const QByteArray file = encodeCnv(conv);
    QCOMPARE(file.size(), 896);
    const ConvTable back = decodeCnv(file);
    for (int i = 0; i < ConvCount; ++i) {
        const ConvRecord &a = conv[size_t(i)];
        const ConvRecord &b = back[size_t(i)];
        QCOMPARE(b.TypeCode, a.TypeCode);
        QCOMPARE(bitsOfFloat(b.OutValue), outBits[i % 4]);
        QCOMPARE(encodeConvRecord(b), encodeConvRecord(a));
    }
    QCOMPARE(encodeCnv(back), file);

    // Any 896 bytes come back unchanged: every byte belongs to exactly one field.
    QRandomGenerator random(20240611);
    QByteArray noise(CnvFile::Size, '\0');
    for (char &c : noise)
        c = char(random.bounded(256));
    QCOMPARE(encodeCnv(decodeCnv(noise)), noise);
}

void ConversationFilesTest::cnvRecordReadFieldByField()
{
    const QByteArray record = hex("0100"     // InUse 1
                                  "4090ffff" // TypeCode 0x9040 widened
                                  "80250000" // BaudRate 9600
                                  "0a00"     // Address 10
                                  "0100"     // Checksum 1
                                  "8000"     // Channels 0x80
                                  "0000"     // LinkActive
                                  "0200"     // IoType 2
                                  "3412"     // OutData 0x1234
                                  "0000c03f" // OutValue 1.5
                                  "0300");   // Slot 3
    QCOMPARE(record.size(), CnvFile::RecordSize);
    QByteArray file(CnvFile::Size, '\0');
    file.replace(5 * CnvFile::RecordSize, CnvFile::RecordSize, record);

    const ConvTable conv = decodeCnv(file);
    const ConvRecord &r = conv[5];
    QCOMPARE(r.InUse, qint16(1));
    QCOMPARE(r.TypeCode, qint32(0xFFFF9040));
    QCOMPARE(r.BaudRate, 9600);
    QCOMPARE(r.Address, qint16(10));
    QCOMPARE(r.Checksum, qint16(1));
    QCOMPARE(r.Channels, qint16(0x80));
    QCOMPARE(r.LinkActive, qint16(0));
    QCOMPARE(r.IoType, qint16(2));
    QCOMPARE(r.OutData, qint16(0x1234));
    QCOMPARE(r.OutValue, 1.5f);
    QCOMPARE(r.Slot, qint16(3));
    // The neighbours are untouched by record 5.
    QCOMPARE(encodeConvRecord(conv[4]), QByteArray(CnvFile::RecordSize, '\0'));
    QCOMPARE(encodeConvRecord(conv[6]), QByteArray(CnvFile::RecordSize, '\0'));
}

void ConversationFilesTest::cnvShortFileReadsZeros()
{
    // One whole record, then InUse and half of TypeCode of the next.
    QByteArray file(CnvFile::RecordSize, '\x11');
    file += hex("0100"
                "4090");
    const ConvTable conv = decodeCnv(file);
    QCOMPARE(conv[0].Slot, qint16(0x1111));
    QCOMPARE(conv[1].InUse, qint16(1));
    QCOMPARE(conv[1].TypeCode, qint32(0x9040));
    QCOMPARE(conv[1].BaudRate, 0);
    for (int i = 2; i < ConvCount; ++i)
        QCOMPARE(encodeConvRecord(conv[size_t(i)]), QByteArray(CnvFile::RecordSize, '\0'));
    QCOMPARE(decodeCnv(QByteArray())[31].InUse, qint16(0));
}

void ConversationFilesTest::companionRecordLayout()
{
    const auto bytes = encodeLinkRecord(link("Plant", "Sheet1", "R1C1", 1));
    QVERIFY(bytes);
    QCOMPARE(bytes->size(), CompanionFile::RecordSize);
    // 2 + 5 + 2 + 6 + 2 + 4 + 2 = 23 bytes, then zero filler.
    const QByteArray expected =
        hex("0500") + "Plant" + hex("0600") + "Sheet1" + hex("0400") + "R1C1" + hex("0100");
    QCOMPARE(expected.size(), 23);
    QCOMPARE(bytes->left(23), expected);
    QCOMPARE(bytes->mid(23), QByteArray(80 - 23, '\0'));

    // Empty texts are bare zero lengths; Linked is signed.
    QCOMPARE(encodeLinkRecord(link({}, {}, {}, -2))->left(8), hex("000000000000feff"));

    // One byte per character, Latin-1.
    const auto accented = encodeLinkRecord(link(QStringLiteral("Caf\u00e9"), {}, {}, 0));
    QCOMPARE(accented->left(6), hex("0400") + "Caf" + hex("e9"));
    QCOMPARE(decodeLinkRecord(*accented, 0).Service, QStringLiteral("Caf\u00e9"));
}

void ConversationFilesTest::companionTextLimits()
{
    const QString s30(30, QLatin1Char('s')), t30(30, QLatin1Char('t')), i12(12, QLatin1Char('i'));
    const LinkRecord full = link(s30, t30, i12, 2);
    QCOMPARE(linkRecordFit(full), LinkFit::Fits);
    const auto bytes = encodeLinkRecord(full);
    QVERIFY(bytes);
    QCOMPARE(bytes->size(), 80);
    const LinkRecord back = decodeLinkRecord(*bytes, 0);
    QCOMPARE(back.Service, s30);
    QCOMPARE(back.Topic, t30);
    QCOMPARE(back.Item, i12);
    QCOMPARE(back.Linked, qint16(2));

    const LinkRecord tooLong = link(s30, t30, i12 + QLatin1Char('x'), 2);
    QCOMPARE(linkRecordFit(tooLong), LinkFit::TooLong);
    QVERIFY(!encodeLinkRecord(tooLong));

    const LinkRecord wide = link(QStringLiteral("\u20ac"), {}, {}, 0);
    QCOMPARE(linkRecordFit(wide), LinkFit::NotLatin1);
    QVERIFY(!encodeLinkRecord(wide));

    LinkTable table{};
    table[32] = tooLong;
    QVERIFY(!encodeCompanion(table));
}

void ConversationFilesTest::companionLengthsPastTheRecord()
{
    QByteArray file;
    // Record 0: the service claims 200 bytes; nothing after it can be found.
    file += hex("c800") + "abc" + QByteArray(75, 'z');
    // Record 1: a sound service, then a topic reaching 1 byte past the record.
    QByteArray r1 = hex("0200") + "ok" + hex("4b00");
    r1 += QByteArray(80 - r1.size(), 'q');
    file += r1;
    // Record 2: a service filling the record to its last byte.
    file += hex("4e00") + QByteArray(78, 'f');
    // Record 3: a sound record after them, read in its own place.
    file += *encodeLinkRecord(link("srv", "top", "itm", 1));
    QCOMPARE(file.size(), 4 * 80);

    const LinkTable table = decodeCompanion(file);
    QCOMPARE(table[0].Service, QString());
    QCOMPARE(table[0].Topic, QString());
    QCOMPARE(table[0].Item, QString());
    QCOMPARE(table[0].Linked, qint16(0));
    QCOMPARE(table[1].Service, QStringLiteral("ok"));
    QCOMPARE(table[1].Topic, QString());
    QCOMPARE(table[1].Linked, qint16(0));
    QCOMPARE(table[2].Service, QString(78, QLatin1Char('f')));
    QCOMPARE(table[2].Topic, QString());
    QCOMPARE(table[2].Linked, qint16(0));
    QCOMPARE(table[3].Service, QStringLiteral("srv"));
    QCOMPARE(table[3].Item, QStringLiteral("itm"));
    QCOMPARE(table[3].Linked, qint16(1));
}

void ConversationFilesTest::companionShortFileReadsEmpty()
{
    QByteArray file = *encodeLinkRecord(link("Plant", "Sheet1", "R1C1", 1));
    // The next record is cut inside its topic text.
    file += hex("0300") + "abc" + hex("0500") + "to";
    const LinkTable table = decodeCompanion(file);
    QCOMPARE(table[0].Item, QStringLiteral("R1C1"));
    QCOMPARE(table[1].Service, QStringLiteral("abc"));
    // The missing bytes are zeros: "to" and three NULs, then empty item, Linked 0.
    QCOMPARE(table[1].Topic, QStringLiteral("to") + QString(3, QChar(0)));
    QCOMPARE(table[1].Item, QString());
    QCOMPARE(table[1].Linked, qint16(0));
    QCOMPARE(table[32].Service, QString());
    QCOMPARE(table[32].Linked, qint16(0));
}

void ConversationFilesTest::companionRoundTrip()
{
    LinkTable table{};
    table[0] = link("Plant", "Sheet1", "R1C1", 1);
    table[17] = link(QString(30, QLatin1Char('a')), QString(30, QLatin1Char('b')),
                     QString(12, QLatin1Char('c')), 2);
    table[32] = link("Timer Interval", {}, {}, 10000);
    const auto file = encodeCompanion(table);
    QVERIFY(file);
    QCOMPARE(file->size(), 33 * 80);
    const LinkTable back = decodeCompanion(*file);
    for (int j = 0; j < LinkCount; ++j) {
        QCOMPARE(back[size_t(j)].Service, table[size_t(j)].Service);
        QCOMPARE(back[size_t(j)].Topic, table[size_t(j)].Topic);
        QCOMPARE(back[size_t(j)].Item, table[size_t(j)].Item);
        QCOMPARE(back[size_t(j)].Linked, table[size_t(j)].Linked);
    }
    QCOMPARE(*encodeCompanion(back), *file);
}

void ConversationFilesTest::companionName_data()
{
    QTest::addColumn<QString>("cnv");
    QTest::addColumn<QString>("companion");
    QTest::newRow("plain") << "/plant/line1.cnv"
                           << "/plant/line1.dde";
    QTest::newRow("upper case") << "/plant/LINE1.CNV"
                                << "/plant/LINE1.dde";
    QTest::newRow("last dot of the name") << "/plant/line.1.cnv"
                                          << "/plant/line.1.dde";
    QTest::newRow("dot in a folder") << "/my.plant/line1"
                                     << "/my.plant/line1.dde";
    QTest::newRow("dot in a folder, name with one") << "/my.plant/l.cnv"
                                                    << "/my.plant/l.dde";
    QTest::newRow("no dot at all") << "line1"
                                   << "line1.dde";
    QTest::newRow("ends in a dot") << "/plant/line1."
                                   << "/plant/line1.dde";
    QTest::newRow("relative with dots") << "../lists/line1.cnv"
                                        << "../lists/line1.dde";
}

void ConversationFilesTest::companionName()
{
    QFETCH(QString, cnv);
    QFETCH(QString, companion);
    QCOMPARE(companionPath(cnv), companion);
}

void ConversationFilesTest::cnvExtension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("LINE1.Cnv") << "/plant/LINE1.Cnv" << true;
    QTest::newRow("line1.cnv") << "/plant/line1.cnv" << true;
    QTest::newRow("only three compared") << "/plant/line1.cnvx" << true;
    QTest::newRow("txt") << "/plant/line1.txt" << false;
    QTest::newRow("short extension") << "/plant/line1.cn" << false;
    QTest::newRow("no extension") << "/plant/line1" << false;
    QTest::newRow("dde") << "/plant/line1.dde" << false;
}

void ConversationFilesTest::cnvExtension()
{
    QFETCH(QString, path);
    QFETCH(bool, accepted);
    QCOMPARE(hasCnvExtension(path), accepted);
}

void ConversationFilesTest::fileExist()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("list.cnv"));
    QVERIFY(writeFile(file, "x"));

    QVERIFY(FileExist(file));
    QVERIFY(FileExist(dir.path()));
    QVERIFY(!FileExist(dir.filePath(QStringLiteral("missing.cnv"))));
    QVERIFY(!FileExist(dir.filePath(QStringLiteral("no/such/folder/list.cnv"))));
    QVERIFY(!FileExist(QString()));
    // Answers other than "no such file" count as existing.
    QVERIFY(FileExist(file + QStringLiteral("/below")));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("b")), dir.filePath(QStringLiteral("a"))));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("a")), dir.filePath(QStringLiteral("b"))));
    QVERIFY(FileExist(dir.filePath(QStringLiteral("a"))));

    if (::geteuid() != 0) {
        const QString closed = dir.filePath(QStringLiteral("closed"));
        QVERIFY(QDir().mkdir(closed));
        QVERIFY(QFile::setPermissions(closed, QFileDevice::Permissions()));
        const bool exists = FileExist(closed + QStringLiteral("/list.cnv"));
        QFile::setPermissions(closed, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        QVERIFY(exists);
    }
}

void ConversationFilesTest::readPairCreatesNothing()
{
    QTemporaryDir dir;
    const QString cnv = dir.filePath(QStringLiteral("line1.cnv"));
    const QString companion = dir.filePath(QStringLiteral("line1.dde"));
    QVERIFY(writeFile(cnv, QByteArray(896, '\0')));

    QString error;
    QVERIFY(!readPair(cnv, companion, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(companion));
    QVERIFY(!readPair(dir.filePath(QStringLiteral("none.cnv")), companion));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("none.cnv"))));

    // A folder is not a file.
    QVERIFY(QDir().mkdir(companion));
    QVERIFY(!readPair(cnv, companion));

    // Bytes after the last record are not part of the list.
    QVERIFY(QDir().rmdir(companion));
    LinkTable table{};
    table[32] = link("Timer Interval", {}, {}, 500);
    QVERIFY(writeFile(companion, *encodeCompanion(table) + "trailing"));
    const auto pair = readPair(cnv, companion);
    QVERIFY(pair);
    QCOMPARE(pair->link[32].Linked, qint16(500));
}

void ConversationFilesTest::writePairReplacesBothOrNeither()
{
    QTemporaryDir dir;
    const QString cnv = dir.filePath(QStringLiteral("line1.cnv"));
    const QString companion = dir.filePath(QStringLiteral("line1.dde"));
    const QByteArray oldCnv(896, 'o'), oldLinks(2640, 'o');
    QVERIFY(writeFile(cnv, oldCnv));
    QVERIFY(writeFile(companion, oldLinks));

    const QByteArray newCnv(896, 'n'), newLinks(2640, 'n');
    WriteOutcome outcome = writePair(cnv, newCnv, companion, newLinks);
    QVERIFY(outcome.ok);
    QCOMPARE(readFile(cnv), newCnv);
    QCOMPARE(readFile(companion), newLinks);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2); // no temporary left

    // The companion cannot be replaced (a folder holds its name): the CNV file,
    // although written out completely first, keeps its old content.
    const QString blockedCnv = dir.filePath(QStringLiteral("blocked.cnv"));
    const QString blockedCompanion = dir.filePath(QStringLiteral("blocked.dde"));
    QVERIFY(writeFile(blockedCnv, oldCnv));
    QVERIFY(QDir().mkdir(blockedCompanion));
    outcome = writePair(blockedCnv, newCnv, blockedCompanion, newLinks);
    QVERIFY(!outcome.ok);
    QVERIFY(!outcome.cnvReplaced);
    QCOMPARE(outcome.failedPath, blockedCompanion);
    QVERIFY(!outcome.error.isEmpty());
    QCOMPARE(readFile(blockedCnv), oldCnv);

    // A folder that does not exist: nothing is created anywhere.
    const QString lost = dir.filePath(QStringLiteral("gone/list.cnv"));
    outcome = writePair(lost, newCnv, dir.filePath(QStringLiteral("gone/list.dde")), newLinks);
    QVERIFY(!outcome.ok);
    QCOMPARE(outcome.failedPath, lost);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("gone"))));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 3);
}

QTEST_GUILESS_MAIN(ConversationFilesTest)
#include "tst_conversationfiles.moc"
