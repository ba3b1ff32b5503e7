#include "panel/PanelNumbers.h"

#include <QTest>

using namespace PanelNumbers;

// The arithmetic between typed or stored numbers and raw values.
class PanelNumbersTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void typed_data();
    void typed();
    void texts_data();
    void texts();
    void reading_data();
    void reading();
};

static TParam numeric(int decimals, int min, int step, int count) {
    TParam p;
    p.Decimals = decimals;
    p.Mins = {min};
    p.Step = step;
    p.Ranges = {count};
    p.MaxValue = count - 1;
    return p;
}

void PanelNumbersTest::typed_data() {
    QTest::addColumn<TParam>("param");
    QTest::addColumn<double>("x");
    QTest::addColumn<bool>("inRange");
    QTest::addColumn<int>("raw");
    const TParam whole = numeric(0, 70, 1, 41);    // 70 .. 110
    const TParam tenths = numeric(1, 470, 5, 11);  // 47.0 .. 52.0 in steps of 0.5
    const TParam level = numeric(2, -300, 5, 121); // -3.00 .. 3.00
    QTest::newRow("whole: toward zero when negative")
        << numeric(0, -10, 1, 21) << -3.7 << true << 7;
    QTest::newRow("tenths: compared before truncation") << tenths << 52.01 << false << 0;
    QTest::newRow("level: upper bound") << level << 3.0 << true << 120;
    QTest::newRow("binary fraction 0.29") << numeric(2, 0, 1, 100) << 0.29 << true << 29;
    QTest::newRow("binary fraction at the bound") << numeric(1, 0, 1, 12) << 1.1 << true << 11;
    QTest::newRow("beyond 32 bits, negative") << level << -1e20 << false << 0;
    QTest::newRow("infinite") << whole << qInf() << false << 0;
    QTest::newRow("step 0 takes its one value") << numeric(0, 5, 0, 1) << 5.0 << true << 0;
    QTest::newRow("no values") << numeric(0, 0, 1, 0) << 0.0 << false << 0;
    QTest::newRow("negative step") << numeric(0, 0, -5, 0) << 5.0 << false << 0;
    QTest::newRow("five decimals") << numeric(5, 100000, 1, 10) << 1.00003 << true << 3;
}

void PanelNumbersTest::typed() {
    QFETCH(TParam, param);
    QFETCH(double, x);
    const Typed t = fromTyped(x, param);
    QTEST(t.inRange, "inRange");
    if (t.inRange)
        QTEST(int(t.raw), "raw");
}

void PanelNumbersTest::texts_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<qint64>("scaled");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("fixed");
    QTest::addColumn<QString>("bound");
    QTest::newRow("zero") << "C" << qint64(0) << 2 << "0.00"
                          << "0";
    QTest::newRow("small negative") << "C" << qint64(-5) << 2 << "-0.05"
                                    << "-0.05";
    QTest::newRow("trailing zero dropped in bounds") << "C" << qint64(470) << 1 << "47.0"
                                                     << "47";
    QTest::newRow("whole") << "C" << qint64(-300) << 0 << "-300"
                           << "-300";
    QTest::newRow("no group separator") << "en_US" << qint64(1234567) << 2 << "12345.67"
                                        << "12345.67";
    QTest::newRow("German separator") << "de_DE" << qint64(305) << 2 << "3,05"
                                      << "3,05";
    QTest::newRow("five decimals") << "C" << qint64(123456) << 5 << "1.23456"
                                   << "1.23456";
    QTest::newRow("beyond 15 digits, exact")
        << "C" << qint64(1234567890123456789) << 3 << "1234567890123456.789"
        << "1.23456789012346e+15";
}

void PanelNumbersTest::texts() {
    QFETCH(QString, locale);
    QFETCH(qint64, scaled);
    QFETCH(int, decimals);
    QLocale::setDefault(QLocale(locale));
    QTEST(fixedText(scaled, decimals), "fixed");
    QTEST(boundText(scaled, decimals), "bound");
}

void PanelNumbersTest::reading_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<double>("value");
    QTest::newRow("signed") << "C"
                            << "+3" << int(Reading::Number) << 3.0;
    QTest::newRow("exponent") << "C"
                              << "-1.5e2" << int(Reading::Number) << -150.0;
    QTest::newRow("German") << "de_DE"
                            << "1,5" << int(Reading::Number) << 1.5;
    QTest::newRow("German group separator") << "de_DE"
                                            << "1.500" << int(Reading::NotANumber) << 0.0;
    QTest::newRow("exponent without digits") << "C"
                                             << "1e" << int(Reading::NotANumber) << 0.0;
    QTest::newRow("overflow") << "C"
                              << "1e400" << int(Reading::TooLarge) << qInf();
}

void PanelNumbersTest::reading() {
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale(locale));
    const Reading r = readTyped(text);
    QTEST(int(r.outcome), "outcome");
    QTEST(r.value, "value");
}

QTEST_GUILESS_MAIN(PanelNumbersTest)
#include "PanelNumbersTest.moc"
