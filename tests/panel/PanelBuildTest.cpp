#include "panel/ParamSpinBox.h"
#include "tests/panel/PanelFixture.h"
#include "tests/support/TestMain.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

// Building the panel from a module record: cells, layout and look.
class PanelBuildTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<PanelFixture> f;

    // One cell as the user sees it: control class and text, the marks that matter, label.
    QString describe(int index) const {
        QWidget* w = f->panel.ParamControls.value(index);
        if (!w)
            return QStringLiteral("none");
        QString text;
        QStringList marks;
        if (auto* spin = qobject_cast<ParamSpinBox*>(w)) {
            text = spin->text() + QStringLiteral(" [%1..%2] step %3")
                                      .arg(spin->minimum())
                                      .arg(spin->maximum())
                                      .arg(f->panel.ParamSteps.value(index));
            if (spin->isTypingEnabled())
                marks << "typable";
            if (spin->palette().color(QPalette::Base) == QColor(0, 255, 255))
                marks << "aqua";
        } else if (auto* list = qobject_cast<QComboBox*>(w)) {
            QStringList entries;
            for (int i = 0; i < list->count(); ++i)
                entries << list->itemText(i);
            text = entries.join(',') + QStringLiteral(" @%1").arg(list->currentIndex());
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            text = edit->text();
            if (edit->isReadOnly())
                marks << "read-only";
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            text = button->text();
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            text = label->text();
        }
        if (!w->isEnabled())
            marks << "disabled";
        if (w->font().bold())
            marks << "bold";
        const QLabel* label = f->panel.ParamLabels.value(index);
        return QStringLiteral("%1 '%2' tag %3 %4 / '%5'")
            .arg(QString::fromLatin1(w->metaObject()->className()), text)
            .arg(TCtlPanelFrm::tagOf(w))
            .arg(marks.join(' '), label ? label->text() : QStringLiteral("none"));
    }

private slots:
    void init() { f = std::make_unique<PanelFixture>(); }
    void cleanup() { f.reset(); }

    void layout_data();
    void layout();
    void cells_data();
    void cells();
    void hiddenKeepsIndex();
    void rebuildLeavesOneSet();
    void look();
};

void PanelBuildTest::layout_data() {
    QTest::addColumn<QByteArray>("params");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QPoint>("lastControl");
    QTest::addColumn<QPoint>("lastLabel");
    QTest::newRow("none visible") << QByteArray("@BB|Hidden~") << 0 << QPoint() << QPoint();
    QTest::newRow("7 visible") << QByteArray("@B@|P~").repeated(7) << 3 << QPoint(413, 10)
                               << QPoint(508, 13);
    QTest::newRow("30 visible") << QByteArray("@B@|P~").repeated(30) << 10 << QPoint(413, 325)
                                << QPoint(508, 328);
    // The error entry is not counted as visible by the parser, yet takes a cell.
    QTest::newRow("error entries take cells")
        << "junk~" + QByteArray("@B@|P~").repeated(6) << 3 << QPoint(413, 10) << QPoint(508, 13);
    QTest::newRow("only an error entry")
        << QByteArray("junk~") << 1 << QPoint(5, 10) << QPoint(100, 13);
}

void PanelBuildTest::layout() {
    QFETCH(QByteArray, params);
    QFETCH(int, rows);
    const TModule& m = f->build("%TYPE|P1|0|" + params + "$");
    QTEST(f->panel.PanelRows, "rows");
    int last = -1;
    for (int i = 0; i < m.ParamCount; ++i) {
        if (QWidget* w = f->panel.ParamControls.value(i)) {
            last = i;
            // Inside the three columns and the rows the window is sized for.
            QVERIFY(w->geometry().right() < 3 * 204);
            QVERIFY(w->geometry().bottom() < rows * 35);
            QCOMPARE(w->width(), 90);
        }
    }
    if (last < 0) {
        QCOMPARE(f->panel.controlCount(), 0);
        return;
    }
    QTEST(f->panel.ParamControls[last]->pos(), "lastControl");
    QTEST(f->panel.ParamLabels[last]->pos(), "lastLabel");
}

void PanelBuildTest::cells_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("cell");
    QTest::newRow("numeric") << QByteArray("@D@|Level|-300|5|121|2|dB~") << 60
                             << "ParamSpinBox '0.00 [-3..3] step 0.05' tag 0 bold / 'Level dB'";
    QTest::newRow("numeric, typable") << QByteArray("@DP|Gain|70|1|41|0|~") << 5
                                      << "ParamSpinBox '75 [70..110] step 1' tag 0 typable aqua "
                                         "bold / 'Gain'";
    QTest::newRow("numeric, read-only") << QByteArray("@DD|Level|-300|5|121|2|dB~") << 60
                                        << "QLineEdit '0.00' tag 0 read-only disabled bold / "
                                           "'Level dB'";
    QTest::newRow("five decimals") << QByteArray("@DD|F|123456|1|10|5|MHz~") << 1
                                   << "QLineEdit '1.23457' tag 0 read-only disabled bold / 'F MHz'";
    QTest::newRow("nine digits, exact") << QByteArray("@DD|F|123456789|1|10|3|Hz~") << 0
                                        << "QLineEdit '123456.789' tag 0 read-only disabled bold / "
                                           "'F Hz'";
    QTest::newRow("decimals beyond 9") << QByteArray("@D@|F|1|1|10|12|~") << 0
                                       << "ParamSpinBox '0.000000001 [1e-09..1e-08] step 1e-09' "
                                          "tag 0 bold / 'F'";
    QTest::newRow("segmented") << QByteArray("@S@|Channel|2|3|E\x17"
                                             "1|2|S\x17"
                                             "0|1|X\x17~")
                               << 3 << "QComboBox 'E2,E3,E4,S1,S2,X @3' tag 0 bold / 'Channel'";
    QTest::newRow("enumerated") << QByteArray("@E@|Mode|Auto|Manual|~") << 1
                                << "QComboBox 'Auto,Manual @1' tag 0 bold / 'Mode'";
    QTest::newRow("on") << QByteArray("@B@|Output~") << 0
                        << "QComboBox 'On,Off @0' tag 0 bold / 'Output'";
    QTest::newRow("off, disabled")
        << QByteArray("@BD|Output~") << 1 << "QComboBox 'On,Off @1' tag 0 disabled bold / 'Output'";
    QTest::newRow("not an entry") << QByteArray("@B@|Output~") << 2
                                  << "QComboBox 'On,Off @-1' tag 0 bold / 'Output'";
    QTest::newRow("information") << QByteArray("@I@|Input|none|~") << 0
                                 << "QLineEdit 'none' tag 0 read-only bold / 'Input'";
    QTest::newRow("terminal") << QByteArray("@T@|Console~") << 0
                              << "QPushButton 'Console' tag 0  / ''";
    QTest::newRow("error entry") << QByteArray("junk~") << 0 << "QLabel 'ERROR' tag 0 bold / ''";
}

void PanelBuildTest::cells() {
    QFETCH(QByteArray, line);
    QFETCH(int, value);
    f->build("%TYPE|P1|0|" + line + "$", {value});
    QTEST(describe(0), "cell");
}

void PanelBuildTest::hiddenKeepsIndex() {
    f->build("%TYPE|P1|0|@B@|A~@BB|B~@B@|C~$");
    QCOMPARE(f->panel.controlCount(), 4);
    const QList<QWidget*> cells = {f->panel.ParamControls[0], f->panel.ParamControls[2]};
    QVERIFY(!f->panel.ParamControls[1]);
    QCOMPARE(cells[1]->pos(), QPoint(209, 10));
    QCOMPARE(TCtlPanelFrm::tagOf(cells[1]), 2);
}

void PanelBuildTest::rebuildLeavesOneSet() {
    f->build("%TYPE|P1|0|@B@|A~@D@|L|0|1|10|0|~@T@|C~$");
    f->panel.BuildPanel();
    QCOMPARE(f->panel.controlCount(), 6);
    f->build("%TYPE|P1|0|@B@|A~$");
    QCOMPARE(f->panel.controlCount(), 2);
    QVERIFY(!f->panel.ParamControls.value(1));
}

// Every kind on one panel, shown as the main window shows it: colours, fonts and the
// positions of the cells. With ORVEX_SCREENSHOTS set the picture is saved to look at.
void PanelBuildTest::look() {
    f->build("%DEMO-9|P1|0|@DP|Level|-300|5|121|2|dBmV~@D@|Att|0|1|31|0|dB~"
             "@DD|Temp|0|5|100|1|C~@S@|Channel|2|3|E\x17"
             "1|2|S\x17"
             "0|1|X\x17~"
             "@E@|Mode|Auto|Manual|~@B@|Output~@BD|Locked~@I@|Input|none|~@T@|Console~"
             "junk~$",
             {60, 7, 50, 3, 1, 0, 1, 0, 0});
    f->panel.setCaption(QStringLiteral("Module #5:  DEMO-9  Vers. 1.0"));
    f->panel.show();
    QCOMPARE(f->panel.height(), 4 * 35 + 30);
    const QImage image = f->panel.grab().toImage();
    const QPoint content = f->panel.content()->mapTo(&f->panel, QPoint());
    // Teal background, aqua edit of the typable spin box, yellow error cell with red text.
    QCOMPARE(image.pixelColor(content + QPoint(200, 5)), QColor(0, 128, 128));
    const QWidget* spin = f->panel.ParamControls[0];
    QCOMPARE(image.pixelColor(content + spin->geometry().topLeft() + QPoint(12, 6)),
             QColor(0, 255, 255));
    const QWidget* error = f->panel.ParamControls[9];
    QCOMPARE(error->palette().color(QPalette::Window), QColor(255, 255, 0));
    QCOMPARE(error->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    const QLabel* label = f->panel.ParamLabels[0];
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(255, 255, 0));
    QCOMPARE(label->font().pointSize(), 11);
    QCOMPARE(spin->font().pixelSize(), 11);
    const QString dir = qEnvironmentVariable("ORVEX_SCREENSHOTS");
    if (!dir.isEmpty())
        f->panel.grab().save(dir + QStringLiteral("/panel-every-kind.png"));
}

ORVEX_TEST(PanelBuildTest)
#include "PanelBuildTest.moc"
