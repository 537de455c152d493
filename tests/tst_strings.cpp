#include "framework/Strings.h"

#include <QTest>
#include <cmath>
#include <limits>

using namespace zorv;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Doubles compared bit for bit in meaning: QCOMPARE's fuzzy compare would let
// a last-digit error pass, and NaN never equals itself.
bool same(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return a == b && std::signbit(a) == std::signbit(b);
}

} // namespace

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
        QTest::addRow("exponent sign without digits stops") << "2e+V" << 2.0;
        QTest::addRow("negative exponent") << "25E-1" << 2.5;
        QTest::addRow("tab before") << "\t-3" << -3.0;
        QTest::addRow("decimal comma stops") << "1,5" << 1.0;
        QTest::addRow("fraction only") << "-.5" << -0.5;
        QTest::addRow("point without fraction") << "7." << 7.0;
        QTest::addRow("second point stops") << "1.5.3" << 1.5;
        QTest::addRow("blank after sign") << "- 5" << 0.0;
        QTest::addRow("hex is not read") << "0x10" << 0.0;
        QTest::addRow("line end before") << "\n5" << 0.0;
        QTest::addRow("shortest text of a double") << "0.30000000000000004" << 0.1 + 0.2;
        QTest::addRow("subnormal") << "1e-310" << 1e-310;
        QTest::addRow("too small") << "1e-400" << 0.0;
        QTest::addRow("too small, negative") << "-1e-400" << -0.0;
        QTest::addRow("too large") << "1e400" << kInf;
        QTest::addRow("too large, negative") << "-1e400" << -kInf;
        QTest::addRow("too large by its digits") << QString(400, u'9') << kInf;
        QTest::addRow("many digits, small exponent") << QString(400, u'1') + "e-390" << 1.1111111111111111e9;
        QTest::addRow("tiny by leading zeros") << "0." + QString(400, u'0') + "1" << 0.0;
        QTest::addRow("huge exponent digits") << "1e99999999999999999999999" << kInf;
    }
    void val()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        const double actual = Val(text);
        QVERIFY2(same(actual, expected), qPrintable(QString::number(actual, 'g', 17)));
    }

    void str_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<QString>("expected");
        QTest::addRow("integer") << 30.0 << "30";
        QTest::addRow("half") << 30.5 << "30.5";
        QTest::addRow("negative") << -1.0 << "-1";
        QTest::addRow("small") << 0.001 << "0.001";
        QTest::addRow("sum that is not 0.3") << 0.1 + 0.2 << "0.30000000000000004";
        QTest::addRow("zero") << 0.0 << "0";
        QTest::addRow("negative zero") << -0.0 << "0";
        QTest::addRow("large, still plain") << 1e15 << "1000000000000000";
        QTest::addRow("very large") << 1e300 << "1e+300";
        QTest::addRow("very small") << 1e-300 << "1e-300";
        QTest::addRow("smallest subnormal") << 5e-324 << "5e-324";
        QTest::addRow("not a number") << kNaN << "NAN";
        QTest::addRow("infinity") << kInf << "INF";
        QTest::addRow("minus infinity") << -kInf << "-INF";
    }
    void str()
    {
        QFETCH(double, x);
        QFETCH(QString, expected);
        QCOMPARE(Str(x), expected);
    }

    // Whatever form Str picks, Val reads the very same double back.
    void strReadsBack_data()
    {
        QTest::addColumn<double>("x");
        QTest::addRow("third") << 1.0 / 3.0;
        QTest::addRow("tenth") << 0.1;
        QTest::addRow("millivolts") << -0.0125;
        QTest::addRow("largest") << std::numeric_limits<double>::max();
        QTest::addRow("smallest normal") << std::numeric_limits<double>::min();
        QTest::addRow("smallest subnormal") << std::numeric_limits<double>::denorm_min();
        QTest::addRow("beyond 2^53") << 9007199254740993.0;
        QTest::addRow("at the plain/exponent border") << 9.999999999999998e15;
        QTest::addRow("small border") << 1.0000000000000001e-5;
    }
    void strReadsBack()
    {
        QFETCH(double, x);
        QVERIFY2(same(Val(Str(x)), x), qPrintable(Str(x)));
    }

    void format_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<double>("x");
        QTest::addColumn<QString>("expected");

        // The patterns description files use.
        QTest::addRow("0.000") << "0.000" << 12.5 << "12.500";
        QTest::addRow("0.000 negative") << "0.000" << -1.25 << "-1.250";
        QTest::addRow("#0.00 below one") << "#0.00" << 0.5 << "0.50";
        QTest::addRow("#0.00 many digits") << "#0.00" << 1234.567 << "1234.57";
        QTest::addRow("0 rounds half up") << "0" << 2.5 << "3";
        QTest::addRow("0 rounds half away from zero") << "0" << -2.5 << "-3";
        QTest::addRow("0 below half") << "0" << 2.4999 << "2";
        QTest::addRow("# of zero") << "#" << 0.0 << "0";
        QTest::addRow("# rounding to zero") << "#" << 0.4 << "0";
        QTest::addRow("# of a number") << "#" << 42.0 << "42";
        QTest::addRow("00 pads") << "00" << 5.0 << "05";
        QTest::addRow("00 prints every integer digit") << "00" << 123.0 << "123";
        QTest::addRow("signed sections, positive") << "+0.0;-0.0" << 5.0 << "+5.0";
        QTest::addRow("signed sections, negative") << "+0.0;-0.0" << -5.0 << "-5.0";
        QTest::addRow("signed sections, zero") << "+0.0;-0.0" << 0.0 << "+0.0";

        // Rounding on the decimal digits the number is written with.
        QTest::addRow("2.675") << "0.00" << 2.675 << "2.68";
        QTest::addRow("1.005") << "0.00" << 1.005 << "1.01";
        QTest::addRow("-1.005") << "0.00" << -1.005 << "-1.01";
        QTest::addRow("0.125") << "0.00" << 0.125 << "0.13";
        QTest::addRow("carry into a new digit") << "0.00" << 9.999 << "10.00";
        QTest::addRow("0.1+0.2") << "0.0000000000000000" << 0.1 + 0.2 << "0.3000000000000000";
        QTest::addRow("rounds away below the last place") << "0.0" << 0.04 << "0.0";
        QTest::addRow("half of the last place") << "0.0" << 0.05 << "0.1";
        QTest::addRow("more places than the double has") << "0.0000000000000000000000" << 0.1
                                                           << "0.1000000000000000000000";

        // Signs: a negative number keeps its minus sign unless the pattern
        // places one or has a negative section.
        QTest::addRow("minus before the number, after a prefix") << "V=0.0" << -1.5 << "V=-1.5";
        QTest::addRow("minus before a leading point") << "#.00" << -0.5 << "-.50";
        QTest::addRow("+ place, positive") << "+0" << 3.0 << "+3";
        QTest::addRow("+ place, negative") << "+0" << -3.0 << "-3";
        QTest::addRow("- place, positive") << "-0" << 3.0 << "3";
        QTest::addRow("- place, negative") << "-0" << -3.0 << "-3";
        QTest::addRow("sign place after the number") << "0.0-" << -3.0 << "3.0-";
        QTest::addRow("negative section writes its own sign") << "0.0;(0.0)" << -2.0 << "(2.0)";
        QTest::addRow("empty negative section keeps the minus") << "0.0;" << -2.0 << "-2.0";
        QTest::addRow("empty negative section, zero section") << "0.0;;zero" << -2.0 << "-2.0";
        QTest::addRow("negative rounding to zero has no minus") << "0.00" << -0.001 << "0.00";
        QTest::addRow("negative rounding to zero takes zero section") << "0.0;(0.0);nil" << -0.01 << "nil";
        QTest::addRow("negative zero") << "0.0" << -0.0 << "0.0";
        QTest::addRow("zero section") << "0.0;-0.0;off" << 0.0 << "off";
        QTest::addRow("zero section, rounded zero") << "0.0;-0.0;off" << 0.04 << "off";
        QTest::addRow("zero section unused") << "0.0;-0.0;off" << 0.05 << "0.1";
        QTest::addRow("sections after the third unused") << "0;-0;z;w" << 0.0 << "z";
        QTest::addRow("empty first section") << ";0" << 5.0 << "";

        // Digit places.
        QTest::addRow("# after the point drops zeros") << "0.##" << 1.5 << "1.5";
        QTest::addRow("# after the point, none left") << "0.##" << 2.0 << "2";
        QTest::addRow("# after the point, zero") << "#.##" << 0.0 << "0";
        QTest::addRow("point without places") << "0." << 5.0 << "5.";
        QTest::addRow("0 after # keeps places up to it") << "0.#0" << 5.0 << "5.00";
        QTest::addRow("# left of 0 pads from the 0") << "#00" << 7.0 << "07";
        QTest::addRow("# between 0s counts as 0") << "0#0" << 7.0 << "007";
        QTest::addRow("no integer places") << ".00" << 12.5 << "12.50";
        QTest::addRow("no integer places, below one") << ".00" << 0.5 << ".50";
        QTest::addRow("digits spread over literals") << "00:00" << 1234.0 << "12:34";
        QTest::addRow("spread, more digits") << "0:00" << 12345.0 << "123:45";
        QTest::addRow("large number prints every digit") << "0" << 1e300 << "1" + QString(300, u'0');
        QTest::addRow("largest double") << "0" << std::numeric_limits<double>::max()
                                        << "17976931348623157" + QString(292, u'0');
        QTest::addRow("tiny number") << "0.000" << 1e-300 << "0.000";
        QTest::addRow("smallest subnormal at full length") << "0." + QString(324, u'0') << 5e-324
                                                            << "0." + QString(323, u'0') + "5";

        // Grouping.
        QTest::addRow("grouping") << "#,##0.00" << 1234567.891 << "1,234,567.89";
        QTest::addRow("grouping, short number") << "#,##0" << 12.0 << "12";
        QTest::addRow("grouping, negative") << "#,##0" << -1234.0 << "-1,234";
        QTest::addRow("grouping of padded zeros") << "000,000" << 5.0 << "000,005";
        QTest::addRow("comma after the places is a literal") << "0," << 5.0 << "5,";
        QTest::addRow("comma before the places is a literal") << ",0" << 5.0 << ",5";
        QTest::addRow("comma after the point is a literal") << "0.0,0" << 5.0 << "5.0,0";

        // Percent.
        QTest::addRow("percent") << "0%" << 0.125 << "13%";
        QTest::addRow("percent on decimal digits") << "0.0%" << 0.285 << "28.5%";
        QTest::addRow("percent, negative") << "0%" << -0.5 << "-50%";

        // Scientific.
        QTest::addRow("E+00") << "0.00E+00" << 12345.0 << "1.23E+04";
        QTest::addRow("E+00 small") << "0.00E+00" << 0.000123 << "1.23E-04";
        QTest::addRow("E+00 zero") << "0.00E+00" << 0.0 << "0.00E+00";
        QTest::addRow("E+00 negative") << "0.00E+00" << -12345.0 << "-1.23E+04";
        QTest::addRow("e- writes only a negative exponent") << "0.0e-0" << 1234.0 << "1.2e3";
        QTest::addRow("e- negative exponent") << "0.0e-0" << 0.01234 << "1.2e-2";
        QTest::addRow("e without sign") << "0e0" << 0.05 << "5e-2";
        QTest::addRow("mantissa rounds up") << "0.0E+0" << 9.96 << "1.0E+1";
        QTest::addRow("two integer places") << "00.0E+00" << 1234.0 << "12.3E+02";
        QTest::addRow("big exponent") << "0.0E+0" << 1e300 << "1.0E+300";
        QTest::addRow("only an exponent") << "E+0" << 5000.0 << "5E+3";
        QTest::addRow("letters of a unit stay literal") << "0.0 Vset" << 1.25 << "1.3 Vset";
        QTest::addRow("e before a place is scientific") << "0.0e" << 1.25 << "1.3e";
        QTest::addRow("escaped e is literal") << "0\\e0" << 12.0 << "1e2";

        // Literals and escapes.
        QTest::addRow("text around") << "VOLT 0.00 V" << 3.3 << "VOLT 3.30 V";
        QTest::addRow("escaped digit") << "0\\0" << 5.0 << "50";
        QTest::addRow("escaped semicolon") << "0\\;0" << 12.0 << "1;2";
        QTest::addRow("escaped backslash") << "\\\\0" << 5.0 << "\\5";
        QTest::addRow("backslash at the end") << "0\\" << 5.0 << "5\\";
        QTest::addRow("second point is a literal") << "0.0.0" << 1.25 << "1.2.5";
        QTest::addRow("no digit places writes the text") << "OUT ON" << -5.0 << "OUT ON";
        QTest::addRow("non-ASCII literal") << "0.0 µA" << 2.0 << "2.0 µA";

        // Border cases.
        QTest::addRow("empty pattern") << "" << 5.0 << "";
        QTest::addRow("empty pattern, NaN") << "" << kNaN << "";
        QTest::addRow("NaN") << "0.00" << kNaN << "NAN";
        QTest::addRow("infinity") << "0.00" << kInf << "INF";
        QTest::addRow("minus infinity") << "0.00" << -kInf << "-INF";
    }
    void format()
    {
        QFETCH(QString, pattern);
        QFETCH(double, x);
        QFETCH(QString, expected);
        QCOMPARE(Format(x, pattern), expected);
    }

    // However long or odd the pattern, the text stays within a small multiple
    // of the pattern's length plus the digits a double can have.
    void formatOddPatterns_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addRow("many zeros") << QString(100000, u'0');
        QTest::addRow("many decimals") << "0." + QString(100000, u'#');
        QTest::addRow("many decimal zeros") << "0." + QString(100000, u'0');
        QTest::addRow("many commas") << "0" + QString(100000, u',') + "0";
        QTest::addRow("many exponent digits") << "0E+" + QString(100000, u'0');
        QTest::addRow("many mantissa places") << QString(50000, u'0') + ".0E+0";
        QTest::addRow("many percent") << QString(10000, u'%') + "0";
        QTest::addRow("many signs") << QString(10000, u'+') + "0";
        QTest::addRow("many sections") << QString(10000, u';');
        QTest::addRow("many backslashes") << QString(10001, u'\\');
        QTest::addRow("many e") << QString(10000, u'e');
        QTest::addRow("e signs") << QString(5000, u'e') + QString(5000, u'+');
        QTest::addRow("mixture") << QString("#,0.%E+-;\\e0#").repeated(5000);
    }
    void formatOddPatterns()
    {
        QFETCH(QString, pattern);
        const double values[] = {0.0,
                                 -0.0,
                                 1.0,
                                 -2.5,
                                 1e308,
                                 -1e308,
                                 5e-324,
                                 std::numeric_limits<double>::max(),
                                 kNaN,
                                 kInf};
        for (double x : values) {
            const QString text = Format(x, pattern);
            QVERIFY2(text.size() <= 2 * pattern.size() + 800,
                     qPrintable(QString::number(x) + " gives " + QString::number(text.size()) + " characters"));
        }
    }

    void nthField_data()
    {
        QTest::addColumn<QString>("s");
        QTest::addColumn<QString>("delim");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        QTest::addRow("first") << "a,b,c" << "," << 1 << "a";
        QTest::addRow("middle") << "a,b,c" << "," << 2 << "b";
        QTest::addRow("last") << "a,b,c" << "," << 3 << "c";
        QTest::addRow("past the end") << "a,b,c" << "," << 4 << "";
        QTest::addRow("zero") << "a,b,c" << "," << 0 << "";
        QTest::addRow("negative") << "a,b,c" << "," << -1 << "";
        QTest::addRow("empty field") << "a,,c" << "," << 2 << "";
        QTest::addRow("after a trailing delimiter") << "a," << "," << 2 << "";
        QTest::addRow("no delimiter") << "abc" << "," << 1 << "abc";
        QTest::addRow("empty text") << "" << "," << 1 << "";
        QTest::addRow("long delimiter") << "1::2::3" << "::" << 3 << "3";
        QTest::addRow("delimiters side by side") << "1::::2" << "::" << 3 << "2";
        QTest::addRow("case-sensitive delimiter") << "aXbxc" << "x" << 1 << "aXb";
        QTest::addRow("empty delimiter, first") << "a,b" << "" << 1 << "a,b";
        QTest::addRow("empty delimiter, second") << "a,b" << "" << 2 << "";
        QTest::addRow("carriage returns") << "0,0\r1,5\r" << "\r" << 2 << "1,5";
        QTest::addRow("blanks kept") << " 1 , 2 " << "," << 2 << " 2 ";
    }
    void nthField()
    {
        QFETCH(QString, s);
        QFETCH(QString, delim);
        QFETCH(int, n);
        QFETCH(QString, expected);
        QCOMPARE(NthField(s, delim, n), expected);
    }

    void countFields_data()
    {
        QTest::addColumn<QString>("s");
        QTest::addColumn<QString>("delim");
        QTest::addColumn<int>("expected");
        QTest::addRow("empty") << "" << "," << 0;
        QTest::addRow("one") << "a" << "," << 1;
        QTest::addRow("three") << "a,b,c" << "," << 3;
        QTest::addRow("only a delimiter") << "," << "," << 2;
        QTest::addRow("empty field") << "a,,b" << "," << 3;
        QTest::addRow("trailing delimiter") << "30,30," << "," << 3;
        QTest::addRow("long delimiter") << "1::2::3" << "::" << 3;
        QTest::addRow("delimiters side by side") << "1::::2" << "::" << 3;
        QTest::addRow("overlapping delimiter") << "aaaa" << "aa" << 3;
        QTest::addRow("empty delimiter") << "a,b" << "" << 1;
        QTest::addRow("case-sensitive delimiter") << "aXb" << "x" << 1;
    }
    // The count and NthField agree: the fields joined again give the text.
    void countFields()
    {
        QFETCH(QString, s);
        QFETCH(QString, delim);
        QFETCH(int, expected);
        QCOMPARE(CountFields(s, delim), expected);
        QStringList fields;
        for (int n = 1; n <= expected; ++n)
            fields.append(NthField(s, delim, n));
        QCOMPARE(fields.join(delim), s);
    }

    void leftRightLenChr()
    {
        QCOMPARE(Left("VOLT", 2), QString("VO"));
        QCOMPARE(Left("VOLT", 10), QString("VOLT"));
        QCOMPARE(Left("VOLT", -1), QString());
        QCOMPARE(Right("VOLT", 2), QString("LT"));
        QCOMPARE(Right("VOLT", 0), QString());
        QCOMPARE(Len("µA"), 2);
        QCOMPARE(Chr(13), QString("\r"));
        QCOMPARE(Chr(0xB5), QString("µ"));
    }

    void toInt32_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<int>("expected");
        QTest::addRow("0.2 s in ms") << 0.2 * 1000 << 200;
        QTest::addRow("hold between 0.1 and 0.3 s") << (0.3 - 0.1) * 1000 << 200;
        QTest::addRow("just below") << 199.9999999 << 200;
        QTest::addRow("half") << 2.5 << 3;
        QTest::addRow("minus half") << -2.5 << -3;
        QTest::addRow("point five") << 0.5 << 1;
        QTest::addRow("minus point five") << -0.5 << -1;
        QTest::addRow("largest below a half") << 0.49999999999999994 << 0;
        QTest::addRow("odd integer beyond float precision") << 8388609.0 << 8388609;
        QTest::addRow("NaN") << kNaN << 0;
        QTest::addRow("largest") << 2147483647.0 << std::numeric_limits<std::int32_t>::max();
        QTest::addRow("rounds to the largest") << 2147483646.5 << std::numeric_limits<std::int32_t>::max();
        QTest::addRow("above the largest") << 2147483647.5 << std::numeric_limits<std::int32_t>::max();
        QTest::addRow("far above") << 3e9 << std::numeric_limits<std::int32_t>::max();
        QTest::addRow("infinity") << kInf << std::numeric_limits<std::int32_t>::max();
        QTest::addRow("smallest") << -2147483648.0 << std::numeric_limits<std::int32_t>::min();
        QTest::addRow("below the smallest") << -2147483648.5 << std::numeric_limits<std::int32_t>::min();
        QTest::addRow("far below") << -3e9 << std::numeric_limits<std::int32_t>::min();
        QTest::addRow("minus infinity") << -kInf << std::numeric_limits<std::int32_t>::min();
    }
    void toInt32()
    {
        QFETCH(double, x);
        QFETCH(int, expected);
        QCOMPARE(ToInt32(x), expected);
    }
};

QTEST_MAIN(StringsTest)
#include "tst_strings.moc"
