#include "framework/Strings.h"

#include <QTest>

using namespace zorv;

class StringsTest : public QObject {
    Q_OBJECT
private slots:
    void val_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::addRow("sign, blanks and a unit") << "  +2.5V" << 2.5;
        QTest::addRow("lone minus") << "-" << 0.0;
        QTest::addRow("lone point") << "." << 0.0;
        QTest::addRow("words") << "abc" << 0.0;
        QTest::addRow("empty") << "" << 0.0;
        QTest::addRow("exponent") << "1.5e3" << 1500.0;
        QTest::addRow("exponent without digits stops") << "2e" << 2.0;
        QTest::addRow("tab before") << "\t-3" << -3.0;
        QTest::addRow("decimal comma stops") << "1,5" << 1.0;
    }
    void val()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(Val(text), expected);
    }
};

QTEST_MAIN(StringsTest)
#include "tst_strings.moc"
