#include "server/ddenames.h"
#include "server/ddeprogramitems.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using namespace telviox;

namespace {

// What D-Bus accepts as a member name, and so as one element of a bus name or
// an object path once escaped.
bool isMemberName(const QString &name)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return name.size() <= 255 && re.match(name).hasMatch();
}

} // namespace

class TestDdeNames : public QObject
{
    Q_OBJECT

private slots:
    void escapedNamesAreValidAndRoundTrip_data();
    void escapedNamesAreValidAndRoundTrip();
    void randomNamesRoundTrip();
    void unescapeLeavesStrayUnderscores();
    void busNamesAndPaths();
    void programItemNames();
};

void TestDdeNames::escapedNamesAreValidAndRoundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("escaped");

    QTest::newRow("plain") << "Text1"
                           << "Text1";
    QTest::newRow("blank") << "a b"
                           << "a_20b";
    QTest::newRow("dots") << "my.app.x"
                          << "my_2Eapp_2Ex";
    QTest::newRow("leading digit") << "9lives"
                                   << "_39lives";
    QTest::newRow("digits only") << "123"
                                 << "_3123";
    QTest::newRow("underscores") << "_a_"
                                 << "_5Fa_5F";
    QTest::newRow("looks escaped") << "a_41"
                                   << "a_5F41";
    QTest::newRow("dash and slash") << "x-y/z"
                                    << "x_2Dy_2Fz";
    QTest::newRow("umlaut") << QString::fromUtf8("Grü") << "Gr_C3_BC";
    QTest::newRow("outside BMP") << QString::fromUtf8("t\xF0\x9F\x98\x80") << "t_F0_9F_98_80";
}

void TestDdeNames::escapedNamesAreValidAndRoundTrip()
{
    QFETCH(QString, name);
    QFETCH(QString, escaped);

    QCOMPARE(DdeNames::escapeName(name), escaped);
    QVERIFY2(isMemberName(escaped), qPrintable(escaped));
    QCOMPARE(DdeNames::unescapeName(escaped), name);
    QCOMPARE(DdeNames::propertyName(name), escaped);
    QCOMPARE(DdeNames::objectPath(name), QLatin1Char('/') + escaped);
    QCOMPARE(DdeNames::serviceOfBusName(DdeNames::busName(name)), name);
}

void TestDdeNames::randomNamesRoundTrip()
{
    // Any text, including bytes that look like escapes, must come back whole.
    const QString alphabet = QString::fromUtf8("aZ09_ .-:/=\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80");
    QRandomGenerator random(4711);
    for (int n = 0; n < 2000; ++n) {
        QString name;
        const int length = 1 + int(random.bounded(12));
        for (int i = 0; i < length; ++i) {
            const int at = int(random.bounded(alphabet.size()));
            // Keep surrogate pairs together.
            if (alphabet.at(at).isLowSurrogate())
                name += alphabet.mid(at - 1, 2);
            else if (alphabet.at(at).isHighSurrogate())
                name += alphabet.mid(at, 2);
            else
                name += alphabet.at(at);
        }
        const QString escaped = DdeNames::escapeName(name);
        QVERIFY2(isMemberName(escaped), qPrintable(name));
        QCOMPARE(DdeNames::unescapeName(escaped), name);
    }
}

void TestDdeNames::unescapeLeavesStrayUnderscores()
{
    QCOMPARE(DdeNames::unescapeName(QStringLiteral("a_2e")), QStringLiteral("a."));
    QCOMPARE(DdeNames::unescapeName(QStringLiteral("a_zz_")), QStringLiteral("a_zz_"));
    QCOMPARE(DdeNames::unescapeName(QStringLiteral("a_4")), QStringLiteral("a_4"));
    QCOMPARE(DdeNames::unescapeName(QStringLiteral("_")), QStringLiteral("_"));
    QCOMPARE(DdeNames::unescapeName(QString()), QString());
}

void TestDdeNames::busNamesAndPaths()
{
    QCOMPARE(DdeNames::busName(QStringLiteral("TELVIOXD")), QStringLiteral("dde.TELVIOXD"));
    // A dotted or numeric service still gives one element after the prefix.
    QCOMPARE(DdeNames::busName(QStringLiteral("Plant.Sheet")), QStringLiteral("dde.Plant_2ESheet"));
    QCOMPARE(DdeNames::busName(QStringLiteral("2nd")), QStringLiteral("dde._32nd"));
    QCOMPARE(DdeNames::objectPath(QStringLiteral("Form5")), QStringLiteral("/Form5"));
    QCOMPARE(DdeNames::objectPath(QString()), QStringLiteral("/"));

    // Names D-Bus cannot carry are refused rather than sent to fail later.
    QVERIFY(DdeNames::busName(QString()).isEmpty());
    QVERIFY(DdeNames::propertyName(QString()).isEmpty());
    QVERIFY(DdeNames::busName(QString(300, QLatin1Char('a'))).isEmpty());
    QVERIFY(DdeNames::propertyName(QString(100, QLatin1Char('.'))).isEmpty());
    QVERIFY(!DdeNames::busName(QString(251, QLatin1Char('a'))).isEmpty());

    QVERIFY(DdeNames::serviceOfBusName(QStringLiteral("org.example")).isEmpty());
    QVERIFY(DdeNames::serviceOfBusName(QStringLiteral("dde.")).isEmpty());
}

void TestDdeNames::programItemNames()
{
    QCOMPARE(DdeProgramItems::itemName(1), QStringLiteral("Text1"));
    QCOMPARE(DdeProgramItems::itemName(32), QStringLiteral("Text32"));
    QVERIFY(DdeProgramItems::itemName(0).isEmpty());
    QVERIFY(DdeProgramItems::itemName(33).isEmpty());
    QVERIFY(DdeProgramItems::itemName(-1).isEmpty());
    for (int position = 1; position <= DdeProgramItems::ItemCount; ++position)
        QCOMPARE(DdeProgramItems::positionOf(DdeProgramItems::itemName(position)), position);
    for (const char *other : {"Text0", "Text33", "Text01", "Text+1", "text1", "Text", "Text 1"})
        QCOMPARE(DdeProgramItems::positionOf(QString::fromLatin1(other)), 0);
}

QTEST_GUILESS_MAIN(TestDdeNames)
#include "tst_ddenames.moc"
