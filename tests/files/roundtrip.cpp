#include "files/SaveLoad.h"
#include "link/HeadendScan.h"
#include "sim/SimServer.h"
#include "tests/files/FakeLine.h"
#include "tests/support/TestMain.h"

#include <QtTest>

namespace {
class QuietView : public ScanView {
public:
    void showSubrackPage(int) override {}
    void toggleLamp() override {}
    void slotEmpty(int, int) override {}
    void slotFound(int, int, const TModule&) override {}
    void processEvents() override {}
};

struct Snapshot {
    QVector<QVector<int>> committed;
    QStringList eeprom;
    bool operator==(const Snapshot&) const = default;
};
using HeadendSnapshot = QMap<int, Snapshot>; // subrack * 16 + slot

// The first parameter after the channel selector that takes a new value: an editable
// number, list or switch with more than one value.
int changeable(const TModule& m) {
    for (int i = 1; i < m.ParamCount; ++i) {
        const TParam& p = m.Params[i];
        const bool kind = p.Kind == KindNumeric || p.Kind == KindEnum || p.Kind == KindOnOff ||
                          p.Kind == KindSegmented;
        if (kind && !(p.Flags & FlagReadOnly) && p.MaxValue > 0)
            return i;
    }
    return -1;
}
} // namespace

// Saving the demo head-end and loading it back: what reaches the modules' EEPROM is what was
// there when the file was written.
class RoundTripTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<SimServer> sim;
    std::unique_ptr<LinkFixture> f;

    void scan() {
        QuietView view;
        ScanHeadend(*f->link, f->modules, f->state, f->host, view);
        f->link->ReplyTimeout = 200;
    }
    HeadendSnapshot snapshot() const {
        HeadendSnapshot out;
        for (int g = 0; g < 2; ++g)
            for (int s = 0; s < 16; ++s)
                if (sim->headend().isPresent(g, s)) {
                    const SimModuleState st = sim->headend().state(g, s);
                    out[g * 16 + s] = {st.committed, st.eeprom};
                }
        return out;
    }
    // Writes and commits a new value of one parameter on the last channel of every
    // parameter module; returns how many modules changed.
    int changeValues() {
        int changed = 0;
        for (int g = 0; g < 2; ++g) {
            for (int s = 0; s < 16; ++s) {
                const TModule* m = f->modules.at(s, g);
                if (!m || m->TypeName == NotInstalledText || m->InfoKind != InfoParam)
                    continue;
                const int i = changeable(*m);
                if (i < 0)
                    continue;
                const int k = m->ChannelCount - 1;
                Link& link = *f->link;
                link.SelectModule(g, s);
                if (m->MultiChannel)
                    link.WriteValue(0, k);
                const TParam& p = m->Params[i];
                const bool ok = link.WriteValue(i, (p.Values[k] + 1) % (p.MaxValue + 1));
                link.CommitEEPROM(s, g);
                changed += ok ? 1 : 0;
            }
        }
        return changed;
    }
    // A new EEPROM image for the image module at (subrack, slot), in place at its reset.
    void changeImage(int subrack, int slot) {
        Link& link = *f->link;
        QVERIFY(link.SelectModule(subrack, slot));
        QVERIFY(link.EnterSpecMode());
        link.SendSpecCmd("06");
        link.SendSpecCmd("07" + QString("00FF").repeated(8));
        link.SelectModule(subrack, slot);
        link.ResetModule();
        f->host.pause(300);
    }

private Q_SLOTS:
    void init() {
        QString error;
        sim = SimServer::startPty(demoProfile(), &error);
        QVERIFY2(sim, qPrintable(error));
        sim->headend().setResetMs(100);
        f = std::make_unique<LinkFixture>();
        LinkFixture::writePort(sim->slavePath());
        QVERIFY(f->link->OpenLink());
    }
    void cleanup() {
        f.reset();
        sim.reset();
    }

    void wholeHeadend() {
        scan();
        QVERIFY(f->state.FoundCount > 0);
        // Values of our own first, so that the file holds something the defaults do not.
        QVERIFY(changeValues() >= 5);
        scan();
        const HeadendSnapshot saved = snapshot();
        QVERIFY(SaveLoad(*f->link, f->modules, f->state, f->host).SaveConfigFile("demo.mmh"));
        QCOMPARE(f->host.status, QString("Done."));
        QVERIFY(f->host.messages.isEmpty());
        QCOMPARE(snapshot(), saved); // the dump changes nothing

        const QByteArray file = fileBytes("demo.mmh");
        QCOMPARE(file.count("\r\nMOD\r\n"), f->state.FoundCount);
        QVERIFY(file.contains("\r\nEEPROM\r\n"));

        changeValues();
        changeImage(1, 2); // RPR-4, the return path receiver
        QVERIFY(snapshot() != saved);

        QVERIFY(
            SaveLoad(*f->link, f->modules, f->state, f->host).LoadSettingsFile("demo.mmh", true));
        QCOMPARE(f->host.status, QString("Done."));
        QVERIFY2(f->host.messages.isEmpty(), qPrintable(f->host.messages.join('\n')));
        const HeadendSnapshot loaded = snapshot();
        for (auto it = saved.begin(); it != saved.end(); ++it) {
            QCOMPARE(loaded[it.key()].committed, it->committed);
            QCOMPARE(loaded[it.key()].eeprom, it->eeprom);
        }
    }

    void moduleFileOntoItsModule() {
        scan();
        const int g = 0, s = 0; // QM4-C, the QAM modulator with four channels
        f->state.CurSubrack = g;
        f->state.CurSlot = s;
        const auto before = sim->headend().state(g, s).committed;
        QVERIFY(SaveLoad(*f->link, f->modules, f->state, f->host).SaveModuleFile(g, s, "m.mst"));
        changeValues(); // leaves another module selected on the line
        QVERIFY(sim->headend().state(g, s).committed != before);
        QVERIFY(SaveLoad(*f->link, f->modules, f->state, f->host).LoadSettingsFile("m.mst", false));
        // Parameter 0 is the channel selector: after the load the last channel is selected.
        QCOMPARE(sim->headend().state(g, s).committed.mid(1), before.mid(1));
        QCOMPARE(sim->headend().state(g, s).committed[0], QVector<int>(4, 3));
    }
};

ORVEX_TEST(RoundTripTest)
#include "roundtrip.moc"
