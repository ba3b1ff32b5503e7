// The program on the demo head-end as a service engineer reads it: the line monitor during a
// scan, the message log's lines for a save and a load, measured values that change while the
// panel is open (and what they may not touch), the faulty slot told apart without colour, the
// read-only values' contrast, and the keyboard.
#include "app/FileDialogs.h"
#include "app/HelpWindow.h"
#include "app/LineMonitorFrm.h"
#include "app/LiveValues.h"
#include "app/MessageLogFrm.h"
#include "module/Display.h"
#include "panel/CtlPanelFrm.h"
#include "panel/ParamSpinBox.h"
#include "tests/support/AppFixture.h"
#include "tests/support/DemoValues.h"
#include "tests/support/Expect.h"
#include "tests/support/Files.h"
#include "tests/support/TestMain.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

namespace {
// WCAG contrast of two colours.
double contrast(QColor a, QColor b) {
    const auto lum = [](QColor c) {
        const auto ch = [](double v) {
            v /= 255;
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * ch(c.red()) + 0.7152 * ch(c.green()) + 0.0722 * ch(c.blue());
    };
    const double la = lum(a), lb = lum(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The pixels of a picture for which counts(x, y) holds.
template <class F> int pixels(const QImage& image, F counts) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += counts(x, y) ? 1 : 0;
    return n;
}

// Pixels where two pictures of one widget differ at 3:1 or more.
int contrasting(const QImage& a, const QImage& b) {
    return pixels(
        a, [&](int x, int y) { return contrast(a.pixelColor(x, y), b.pixelColor(x, y)) >= 3; });
}

// Pixels of a widget darker than a quarter of white once seen in greyscale.
int darkPixels(QWidget* w) {
    const QImage grey = w->grab().toImage().convertToFormat(QImage::Format_Grayscale8);
    return pixels(grey, [&](int x, int y) { return qGray(grey.pixel(x, y)) < 64; });
}
} // namespace

class LineViewsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<SimServer> sim;
    std::unique_ptr<AppFixture> f;
    QStringList meanings; // every frame the observer named since init()

    TMainFrm& m() { return f->main(); }
    SimHeadend& headend() { return sim->headend(); }
    QString lastOutcome() const {
        const auto& entries = f->main().messageLog.entries();
        for (auto e = entries.rbegin(); e != entries.rend(); ++e)
            if (e->kind == MessageLog::Kind::Outcome)
                return e->text;
        return {};
    }

private Q_SLOTS:
    void initTestCase() {
        sim = startDemo();
        f = std::make_unique<AppFixture>(sim->slavePath());
        f->start();
        connect(&m().lineObserver, &LineObserver::frame, this,
                [this](const LineFrame& fr) { meanings << fr.meaning; });
        m().itmLineMonitor->trigger();
        QVERIFY(f->scan());
    }
    void cleanupTestCase() {
        FileDialogs::clearAnswer();
        f.reset();
        sim.reset();
    }
    void init() { meanings.clear(); }

    // The scan is one group of rows, in the program's words; the filters show what they name;
    // a saved trace is the line monitor's frames, and reads back as them.
    void lineMonitor() {
        TLineMonitorFrm& mon = *m().LineMonitorFrm;
        const QAbstractItemModel& shown = *mon.tvFrames->model();
        // After start-up's end of a console that may have been left open.
        QModelIndex scan = shown.index(2, 0);
        const auto said = [&](int row) {
            return shown.index(row, LineFrames::ColMeaning, scan).data().toString();
        };
        QVERIFY(shown.rowCount(scan) > 64);
        QVERIFY(!mon.tvFrames->isExpanded(scan)); // over: folded
        // The last empty slot's missing answer is the scan's own.
        QCOMPARE(said(shown.rowCount(scan) - 1), QString("no answer to select 2/16"));
        QCOMPARE(said(0) + " | " + said(1), QString("select 1/1 | ACK to select 1/1"));
        mon.cbKind->setCurrentIndex(mon.cbKind->findData(int(FrameKind::Fault)));
        mon.cbModule->setCurrentIndex(mon.cbModule->findText("1/5"));
        scan = shown.index(0, 0);
        // The empty slot's presence check: two selects, and the group counts what it shows.
        QCOMPARE(scan.siblingAtColumn(LineFrames::ColMeaning).data(), "Scan: 2 frames");
        QCOMPARE(said(1), QString("no answer to select 1/5"));
        mon.cbKind->setCurrentIndex(0);
        mon.cbModule->setCurrentIndex(0);

        const QString file = f->dir.filePath("scan.trace");
        QString error;
        QVERIFY2(mon.saveTrace(file, &error), qPrintable(error));
        const auto kept = [&] {
            QStringList l;
            for (int i = 0; i < mon.frames().size(); ++i)
                l << mon.frames().at(i).meaning;
            return l;
        };
        const QStringList before = kept();
        QVERIFY(mon.openTrace(file, &error));
        QCOMPARE(kept(), before);
        mon.btPause->setChecked(false); // back to the line, whose frames were kept
        QCOMPARE(kept().mid(0, before.size()), before);
        // After ten quiet minutes the ms column still shows all of its digits.
        QVERIFY(writeFile(file, "14:00:00.000 > 21 C0 80 |!..|\n14:10:00.000 < 06 |.|\n"));
        QVERIFY(mon.openTrace(file, &error));
        auto* view = static_cast<QAbstractItemView*>(mon.tvFrames);
        QVERIFY(view->sizeHintForColumn(LineFrames::ColDelta) <=
                mon.tvFrames->columnWidth(LineFrames::ColDelta));
        mon.btPause->setChecked(false);
    }

    // A save and a load end with a line that names the file and says how they went; a save
    // where no folder can hold the file names it and the reason. The images a load wrote are
    // read back only when the user agrees to their restart.
    void messageLog() {
        m().MessageLogFrm->show(); // it follows the newest line
        QScrollBar* bar = m().MessageLogFrm->mmLog->verticalScrollBar();
        const QString file = f->dir.filePath("site1.mmh");
        FileDialogs::setAnswer(file);
        m().itmSaveConfig->trigger();
        QCOMPARE(lastOutcome(), QString("Saved site1.mmh: 12 modules"));
        FileDialogs::setAnswer(file + "/x.mmh");
        m().itmSaveConfig->trigger();
        QCOMPARE(lastOutcome(), QString("Did not save x.mmh; there is no file of that name"));
        FileDialogs::setAnswer(file);
        m().itmLoadConfig->trigger();
        headend().clearLog();
        QVERIFY(f->scanned());
        QCOMPARE(m().shownQuestions.last(),
                 QString("Read back the EEPROM images the load wrote, to check them? Each of "
                         "these modules restarts once more: 1/9 NC-100, 2/3 RPR-4."));
        QCOMPARE(restartFrames(headend().received()), QStringList());
        QCOMPARE(lastOutcome(), QString("Loaded site1.mmh into 10 modules, verified; the images "
                                        "of 1/9 NC-100, 2/3 RPR-4 not read back"));
        QVERIFY(m().messageLog.text().contains(" Loading from file. Wait...\n")); // no marks
        QVERIFY(runUntil([&] { return bar->maximum() > 0 && bar->value() == bar->maximum(); }));
        m().MessageLogFrm->close();
        // Saved, it says when, on which line and from which version.
        QString error;
        QVERIFY(m().MessageLogFrm->saveTo(file + ".txt", &error));
        EXPECT_STARTS(
            QString(fileBytes(file + ".txt")),
            "ORVEX Link " ORVEX_VERSION " message log\nPort: " + m().link().ComPort().portName() +
                "\nFrom " + QDate::currentDate().toString(Qt::ISODate));
    }

    // Measured values follow the module while the panel is open; written values never follow.
    // The panel's opening read is the only one until an interval has passed since it.
    void liveValues() {
        m().liveValues->setIntervalMs(300);
        runFor(350); // a tick while no panel is open
        QList<qint64> reads;
        QObject scope;
        connect(&m().lineObserver, &LineObserver::frame, &scope, [&](const LineFrame& fr) {
            if (fr.meaning == "read values")
                reads << fr.msecs;
        });
        f->click(0, 1); // a receiver: C/N and input level are measured
        auto* level = f->control<QLineEdit>(6);
        auto* frequency = f->control<ParamSpinBox>(0);
        QVERIFY(level && frequency && !level->isEnabled());
        const QString typed = "1234";
        frequency->findChild<QLineEdit*>()->setText(typed); // typed, not yet taken with Enter
        QVERIFY(headend().setMeasured(0, 1, 6, 300));
        QVERIFY(headend().setMeasured(0, 1, 0, 7)); // a written value changed behind the panel
        const QString shown = ParamDisplay::fixedText(-700 + 300, 1);
        QVERIFY2(runUntil([&] { return level->text() == shown; }), qPrintable(level->text()));
        QVERIFY(reads.size() >= 2 && reads[1] - reads[0] >= 270);
        QCOMPARE(frequency->text(), typed);
        QCOMPARE(m().currentModule()->Params[0].Values[0],
                 DemoValues().module(0, 1).params[0].values.value(0));
        m().liveValues->setIntervalMs(0);
    }

    // No read of the background between a write of the user's and its commit.
    void noReadDuringAWrite() {
        f->click(0, 5);
        auto* gain = f->control<ParamSpinBox>(0);
        QVERIFY(gain);
        m().liveValues->setIntervalMs(20);
        const int reads = m().liveValues->reads();
        meanings.clear();
        QTest::keyClick(gain, Qt::Key_Up);
        QTest::keyClick(gain, Qt::Key_Up);
        QVERIFY(runUntil([&] { return m().liveValues->reads() > reads + 1; }));
        m().liveValues->setIntervalMs(0);
        const qsizetype write = meanings.indexOf(QRegularExpression("write parameter 0 = \\d+"));
        const qsizetype committed = meanings.indexOf("ACK to commit", write);
        QVERIFY2(write >= 0 && committed > write, qPrintable(meanings.join(" | ")));
        QVERIFY2(!meanings.mid(write, committed - write).contains("read values"),
                 qPrintable(meanings.join(" | ")));
        QVERIFY(meanings.indexOf("read values", committed) > committed); // and then it read
    }

    // A faulty module (its colour: HeadendTest::scanned) reads apart from a clear one in
    // greyscale. The selected slot, faulty or not, reads apart from itself unselected and has
    // the keyboard.
    // The caption's buttons show their glyphs.
    void faultWithoutColour() {
        QToolButton* clear = m().slotButton(0, 0);
        QToolButton* faulty = m().slotButton(0, 2);
        clear->setChecked(false);
        faulty->setChecked(false);
        const int perimeter = 2 * (faulty->width() + faulty->height()) - 4; // one ring
        QVERIFY2(darkPixels(faulty) >= darkPixels(clear) + perimeter,
                 qPrintable(QString("%1 / %2").arg(darkPixels(faulty)).arg(darkPixels(clear))));
        for (int slot : {0, 2}) {
            const QImage up = m().slotButton(0, slot)->grab().toImage();
            f->click(0, slot);
            QCOMPARE(m().focusWidget(), m().slotButton(0, slot));
            const int cue = contrasting(up, m().slotButton(0, slot)->grab().toImage());
            QVERIFY2(cue >= perimeter, qPrintable(QString::number(cue)));
        }
        for (const char* button : {"captionMinimise", "captionClose"})
            QVERIFY(darkPixels(m().findChild<QWidget*>(button)) >= 8);
    }

    // The greyed measured values keep 4.5:1 against their background.
    void readOnlyContrast() {
        f->click(0, 5);
        auto* level = f->control<QLineEdit>(3);
        QVERIFY(level && !level->isEnabled());
        const QImage image = level->grab().toImage().copy(level->rect().adjusted(2, 2, -2, -2));
        QHash<QRgb, int> counts;
        pixels(image, [&](int x, int y) { return ++counts[image.pixel(x, y)]; });
        const QRgb background =
            std::max_element(counts.keyValueBegin(), counts.keyValueEnd(), [](auto a, auto b) {
                return a.second < b.second;
            })->first;
        double best = 1;
        for (QRgb c : counts.keys())
            best = std::max(best, contrast(QColor(c), QColor(background)));
        QVERIFY2(best >= 4.5, qPrintable(QString::number(best)));
    }

    // A "File" key from another window of the program (F10 and the keys in the main window:
    // desktop.DesktopTest::fileKeysAfterEsc); Enter presses the focused button, "Scan" as the
    // guide says.
    void keyboard() {
        FileDialogs::setAnswer(QString()); // cancelled
        m().MessageLogFrm->show();
        QApplication::setActiveWindow(m().MessageLogFrm);
        QTest::keyClick(m().MessageLogFrm, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(FileDialogs::asked().value(0).title, QString("Save current configuration"));
        m().MessageLogFrm->close();
        m().btRestart->setFocus();
        QTest::keyClick(m().btRestart, Qt::Key_Return);
        QVERIFY(f->scanned());
    }
};

ORVEX_TEST(LineViewsTest)
#include "views.moc"
