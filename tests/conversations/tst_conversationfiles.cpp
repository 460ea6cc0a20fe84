#include "conversations/conversationfiles.h"
#include "device/catalogue.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <unistd.h>

using namespace telviox;

namespace {

quint32 bitsOf(float value)
{
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float floatOf(quint32 bits)
{
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

LinkRecord link(const QString &service, const QString &topic, const QString &item, qint16 linked)
{
    return LinkRecord{service, topic, item, linked};
}

QString chars(int count, char c)
{
    return QString(count, QLatin1Char(c));
}

} // namespace

class ConversationFilesTest : public QObject
{
    Q_OBJECT

private slots:
    void cnvKeepsEveryBit();
    void companionLayoutAndLimits();
    void companionNeverReadsPastItsRecord();
    void names_data();
    void names();
    void fileExist();
};

void ConversationFilesTest::cnvKeepsEveryBit()
{
    // InUse, TypeCode 0x9040 widened, 9600 bit/s, address 10, checksum,
    // channel 0, LinkActive, IoType 2, OutData 0x1234, 1.5, slot 3.
    const QByteArray record =
        hex("0100 4090ffff 80250000 0a00 0100 8000 0000 0200 3412 0000c03f 0300");
    QByteArray file(5 * CnvFile::RecordSize, '\x11');
    file += record;
    file += hex("0100 4090"); // a short file: the rest of record 6 reads as zeros

    ConvTable conv = decodeCnv(file);
    const ConvRecord &r = conv[5];
    QCOMPARE(r.InUse, qint16(1));
    QCOMPARE(r.TypeCode, catalogue::typeCodeOfName(QStringLiteral("9040")));
    QCOMPARE(r.BaudRate, 9600);
    QCOMPARE(r.Address, qint16(10));
    QCOMPARE(r.Checksum, qint16(1));
    QCOMPARE(r.Channels, qint16(0x80));
    QCOMPARE(r.LinkActive, qint16(0));
    QCOMPARE(r.IoType, qint16(2));
    QCOMPARE(r.OutData, qint16(0x1234));
    QCOMPARE(r.OutValue, 1.5f);
    QCOMPARE(r.Slot, qint16(3));
    QCOMPARE(conv[4].Slot, qint16(0x1111));
    QCOMPARE(conv[6].TypeCode, qint32(0x9040));
    QCOMPARE(conv[6].BaudRate, 0);
    QCOMPARE(encodeConvRecord(conv[31]), QByteArray(CnvFile::RecordSize, '\0'));

    conv[1].OutValue = floatOf(0x7FC12345u); // a NaN with a payload
    conv[2].OutValue = floatOf(0x00000001u); // the smallest denormal
    QCOMPARE(encodeCnv(conv).size(), 896);
    QCOMPARE(encodeCnv(conv).mid(5 * 28, 28), record);
    QCOMPARE(bitsOf(decodeCnv(encodeCnv(conv))[1].OutValue), 0x7FC12345u);
    QCOMPARE(bitsOf(decodeCnv(encodeCnv(conv))[2].OutValue), 0x00000001u);

    // Any 896 bytes come back unchanged: every byte belongs to exactly one field.
    QRandomGenerator random(20240611);
    QByteArray noise(CnvFile::Size, '\0');
    for (char &c : noise)
        c = char(random.bounded(256));
    QCOMPARE(encodeCnv(decodeCnv(noise)), noise);
}

void ConversationFilesTest::companionLayoutAndLimits()
{
    // 2 + 5 + 2 + 6 + 2 + 4 + 2 = 23 bytes, then zero filler to 80.
    const auto bytes = encodeLinkRecord(link("Plant", "Sheet1", "R1C1", -2));
    QVERIFY(bytes);
    QCOMPARE(*bytes, hex("0500") + "Plant" + hex("0600") + "Sheet1" + hex("0400") + "R1C1" +
                         hex("feff") + QByteArray(80 - 23, '\0'));
    // One byte a character.
    QCOMPARE(encodeLinkRecord(link(QStringLiteral("Caf\u00e9"), {}, {}, 0))->left(6),
             hex("0400") + "Caf" + hex("e9"));

    LinkTable table{};
    table[0] = link(QStringLiteral("Caf\u00e9"), "Sheet1", "R1C1", 1);
    table[17] = link(chars(30, 's'), chars(30, 't'), chars(12, 'i'), 2); // 72 bytes: fits
    table[32] = link("Timer Interval", {}, {}, 10000);
    const auto file = encodeCompanion(table);
    QVERIFY(file);
    QCOMPARE(file->size(), 33 * 80);
    const LinkTable back = decodeCompanion(*file);
    QCOMPARE(back[0].Service, table[0].Service);
    QCOMPARE(back[17].Item, table[17].Item);
    QCOMPARE(back[32].Linked, qint16(10000));
    QCOMPARE(*encodeCompanion(back), *file);

    table[17].Item += QLatin1Char('x'); // 73 bytes
    QCOMPARE(linkRecordFit(table[17]), LinkFit::TooLong);
    QVERIFY(!encodeCompanion(table));
    QCOMPARE(linkRecordFit(link({}, QStringLiteral("\u20ac"), {}, 0)), LinkFit::NotLatin1);
    QVERIFY(!encodeLinkRecord(link({}, QStringLiteral("\u20ac"), {}, 0)));
}

void ConversationFilesTest::companionNeverReadsPastItsRecord()
{
    QByteArray file;
    file += hex("c800") + QByteArray(78, 'z');                      // service claims 200 bytes
    file += hex("0200") + "ok" + hex("4b00") + QByteArray(74, 'q'); // topic reaches 1 past
    file += hex("4e00") + QByteArray(78, 'f');                      // service fills the record
    file += *encodeLinkRecord(link("srv", "top", "itm", 1));        // read in its own place
    file += hex("0300") + "abc" + hex("0500") + "to";               // the file ends in a topic

    const LinkTable t = decodeCompanion(file);
    QVERIFY(t[0].Service.isEmpty() && t[0].Topic.isEmpty() && t[0].Item.isEmpty());
    QCOMPARE(t[0].Linked, qint16(0));
    QCOMPARE(t[1].Service, QStringLiteral("ok"));
    QVERIFY(t[1].Topic.isEmpty() && t[1].Item.isEmpty());
    QCOMPARE(t[1].Linked, qint16(0));
    QCOMPARE(t[2].Service, chars(78, 'f'));
    QVERIFY(t[2].Topic.isEmpty());
    QCOMPARE(t[3].Service, QStringLiteral("srv"));
    QCOMPARE(t[3].Item, QStringLiteral("itm"));
    QCOMPARE(t[3].Linked, qint16(1));
    // Beyond the end of the file everything is zero.
    QCOMPARE(t[4].Service, QStringLiteral("abc"));
    QCOMPARE(t[4].Topic, QStringLiteral("to") + QString(3, QChar(0)));
    QCOMPARE(t[4].Linked, qint16(0));
    QVERIFY(t[32].Service.isEmpty());
}

void ConversationFilesTest::names_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("companion");
    QTest::addColumn<bool>("opens");
    QTest::newRow("lower case") << "/plant/line1.cnv"
                                << "/plant/line1.dde" << true;
    QTest::newRow("upper case") << "/plant/LINE1.CNV"
                                << "/plant/LINE1.dde" << true;
    QTest::newRow("mixed case") << "/plant/LINE1.Cnv"
                                << "/plant/LINE1.dde" << true;
    QTest::newRow("three compared") << "/plant/line1.cnvx"
                                    << "/plant/line1.dde" << true;
    QTest::newRow("txt") << "/plant/line1.txt"
                         << "/plant/line1.dde" << false;
    QTest::newRow("short") << "/plant/line1.cn"
                           << "/plant/line1.dde" << false;
    QTest::newRow("last dot") << "/plant/line.1.cnv"
                              << "/plant/line.1.dde" << true;
    QTest::newRow("dot in folder") << "/my.plant/line1"
                                   << "/my.plant/line1.dde" << false;
    QTest::newRow("dots in both") << "../my.plant/l.cnv"
                                  << "../my.plant/l.dde" << true;
    QTest::newRow("bare name") << "line1"
                               << "line1.dde" << false;
    QTest::newRow("ends in dot") << "/plant/line1."
                                 << "/plant/line1.dde" << false;
}

void ConversationFilesTest::names()
{
    QFETCH(QString, path);
    QFETCH(QString, companion);
    QFETCH(bool, opens);
    QCOMPARE(companionPath(path), companion);
    QCOMPARE(hasCnvExtension(path), opens);
}

void ConversationFilesTest::fileExist()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("list.cnv"));
    QFile(file).open(QIODevice::WriteOnly);

    QVERIFY(FileExist(file));
    QVERIFY(FileExist(dir.path()));
    QVERIFY(!FileExist(dir.filePath(QStringLiteral("missing.cnv"))));
    QVERIFY(!FileExist(dir.filePath(QStringLiteral("no/such/folder/list.cnv"))));
    QVERIFY(!FileExist(QString()));
    // Any other answer than "no such file" counts as existing.
    QVERIFY(FileExist(file + QStringLiteral("/below")));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("b")), dir.filePath(QStringLiteral("a"))));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("a")), dir.filePath(QStringLiteral("b"))));
    QVERIFY(FileExist(dir.filePath(QStringLiteral("a"))));
    if (::geteuid() != 0) { // permissions do not stop root
        const QString closed = dir.filePath(QStringLiteral("closed"));
        QVERIFY(QDir().mkdir(closed));
        QFile::setPermissions(closed, QFileDevice::Permissions());
        const bool exists = FileExist(closed + QStringLiteral("/list.cnv"));
        QFile::setPermissions(closed, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        QVERIFY(exists);
    }
}

QTEST_GUILESS_MAIN(ConversationFilesTest)
#include "tst_conversationfiles.moc"
