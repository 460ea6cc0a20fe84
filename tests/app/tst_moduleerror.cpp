#include "app/moduleerror.h"

#include <QtTest>

using namespace telviox;

class TestModuleError : public QObject
{
    Q_OBJECT

private slots:
    void line_data();
    void line();
    void descriptionBlanks();
};

void TestModuleError::line_data()
{
    QTest::addColumn<QString>("module");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expected");

    QTest::newRow("time-out") << "2026" << 15
                              << "Error in Module: 2026  Error Code:  15    Time Out !";
    // Success and unknown codes: the number only, nothing after it.
    QTest::newRow("zero") << "2026" << 0 << "Error in Module: 2026  Error Code:  0";
    QTest::newRow("negative") << "9040" << -1 << "Error in Module: 9040  Error Code: -1";
    QTest::newRow("most negative")
        << "92091" << -32768 << "Error in Module: 92091  Error Code: -32768";
    QTest::newRow("beyond the table") << "2091" << 23 << "Error in Module: 2091  Error Code:  23";
    QTest::newRow("first") << "2011" << 1
                           << "Error in Module: 2011  Error Code:  1    Function Error !";
    QTest::newRow("last with four blanks")
        << "2026" << 20 << "Error in Module: 2026  Error Code:  20    Exceed Input Range !";
    QTest::newRow("counter number")
        << "2032" << 21 << "Error in Module: 2032  Error Code:  21  Invalidate Counter No !";
    QTest::newRow("counter value")
        << "2032" << 22 << "Error in Module: 2032  Error Code:  22  Invalidate Counter Value !";
    QTest::newRow("empty module name")
        << "" << 8 << "Error in Module:   Error Code:  8    COM Port not open !";
}

void TestModuleError::line()
{
    QFETCH(QString, module);
    QFETCH(int, code);
    QFETCH(QString, expected);
    QCOMPARE(moduleErrorLine(module, qint16(code)), expected);
}

// Every described code has its text right after the blanks; the counter codes
// have two blanks, the others four, and nothing outside 1..22 is described.
void TestModuleError::descriptionBlanks()
{
    for (int code = 1; code <= 22; ++code) {
        const QString text = moduleErrorDescription(qint16(code));
        const int blanks = code >= 21 ? 2 : 4;
        QVERIFY2(text.startsWith(QString(blanks, u' ')), qPrintable(text));
        QVERIFY2(text.at(blanks) != u' ', qPrintable(text));
        QVERIFY2(text.endsWith(QLatin1String(" !")), qPrintable(text));
    }
    QCOMPARE(moduleErrorDescription(14), QStringLiteral("    Error Code 14 !"));
    QCOMPARE(moduleErrorDescription(16), QStringLiteral("    Error Code 16 !"));
    QCOMPARE(moduleErrorDescription(17), QStringLiteral("    ModuleID Error !"));
    for (int code : {0, -1, 23, 100, 32767, -32768})
        QVERIFY(moduleErrorDescription(qint16(code)).isEmpty());
}

QTEST_APPLESS_MAIN(TestModuleError)
#include "tst_moduleerror.moc"
