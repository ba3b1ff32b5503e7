#include "panel/ParamSpinBox.h"
#include "sim/SimServer.h"
#include "tests/panel/PanelFixture.h"
#include "tests/support/EventLoop.h"
#include "tests/support/TestMain.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

// The panel over the demo head-end: the modules' own descriptions, the simulator on a pty.
class DemoPanelTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SimServer> sim;
    std::unique_ptr<PanelFixture> f;

    // What the main window does on a slot click: select, read, build, show.
    const TModule& select(int subrack, int slot) {
        f->state.CurSubrack = subrack;
        f->state.CurSlot = slot;
        f->link->ReplyTimeout = 200;
        [&] { QVERIFY(f->link->SelectModule(subrack, slot)); }();
        f->link->ReadInfoBlock(slot, subrack);
        f->link->ReadVersion(slot, subrack);
        f->link->ReadValues(slot, subrack);
        const TModule& m = *f->modules.at(slot, subrack);
        f->panel.BuildPanel();
        f->panel.setCaption(QStringLiteral("Module #%1:  %2  Vers. %3")
                                .arg(slot + 1)
                                .arg(m.TypeName, m.VersionText));
        f->panel.show();
        return m;
    }
    std::optional<int> committed(int param) const {
        return sim->headend().committedValue(0, 0, param, 0);
    }

private slots:
    void init() {
        QString error;
        sim = SimServer::startPty(demoProfile(), &error);
        QVERIFY2(sim, qPrintable(error));
        f = std::make_unique<PanelFixture>();
        LinkFixture::writePort(sim->slavePath());
        QVERIFY(f->link->OpenLink());
    }
    void cleanup() {
        f.reset();
        sim.reset();
    }

    void modules_data() {
        QTest::addColumn<int>("subrack");
        QTest::addColumn<int>("slot");
        QTest::newRow("modulator") << 0 << 0;
        QTest::newRow("receiver") << 0 << 1;
        QTest::newRow("kx350") << 0 << 3;
        QTest::newRow("power supply") << 1 << 4;
    }
    // Every visible parameter gets its cell; none of them is an error entry.
    void modules() {
        QFETCH(int, subrack);
        QFETCH(int, slot);
        const TModule& m = select(subrack, slot);
        QVERIFY(m.ParamCount > 0);
        QCOMPARE(f->panel.PanelRows, (m.VisibleCount + 2) / 3);
        QCOMPARE(f->panel.controlCount(), 2 * m.VisibleCount);
        for (const QLabel* l : f->panel.content()->findChildren<QLabel*>())
            QVERIFY(l->text() != QLatin1String("ERROR"));
        // No caption runs under the next column's control; its tooltip has all of it.
        for (const QLabel* l : f->panel.ParamLabels) {
            for (const QWidget* w : f->panel.ParamControls)
                if (l && w && w->x() > l->x())
                    QVERIFY2(l->geometry().right() < w->x(), qPrintable(l->text()));
            QVERIFY(!l || l->toolTip() == l->text());
        }
        // Read-only texts show their start.
        for (const QLineEdit* e :
             f->panel.content()->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly))
            QVERIFY(!e->isReadOnly() || e->cursorPosition() == 0);
        const QString dir = qEnvironmentVariable("ORVEX_SCREENSHOTS");
        if (!dir.isEmpty())
            f->panel.grab().save(dir +
                                 QStringLiteral("/demo-panel-%1-%2.png").arg(subrack).arg(slot));
    }

    // A typed value, a step and a list change reach the module and its EEPROM.
    void changesReachTheModule() {
        select(0, 0);
        auto* frequency = f->control<ParamSpinBox>(1);
        QCOMPARE(frequency->text(), QStringLiteral("474.000"));
        frequency->findChild<QLineEdit*>()->setText(QStringLiteral("474.125"));
        QTest::keyClick(frequency, Qt::Key_Return);
        QTest::keyClick(f->control<ParamSpinBox>(3), Qt::Key_Up);
        QVERIFY(runUntil([&] { return committed(1) == 3417 && committed(3) == 5901; }));
        f->control<QComboBox>(4)->setCurrentIndex(1);
        QCOMPARE(committed(4), std::optional<int>(1));
        QCOMPARE(f->host.messages, QStringList());
    }
};

ORVEX_TEST(DemoPanelTest)
#include "DemoPanelTest.moc"
