#include "link/Link.h"
#include "link/SharedState.h"
#include "module/ModuleTable.h"
#include "sim/SimServer.h"
#include "tests/support/RecordingHost.h"
#include <QtTest>

class Explore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void run_data() {
        QTest::addColumn<int>("g");
        QTest::addColumn<int>("s");
        QTest::addColumn<char>("cmd");
        QTest::addColumn<int>("fault"); // 0 garble 1 unterminated
        const char cmds[] = {'0', '2', '1', ':', '<', ';', '?', '$'};
        for (char c : cmds)
            for (int f = 0; f < 2; ++f)
                for (auto [g, s] : {std::pair{0, 0}, std::pair{0, 2}, std::pair{1, 0}})
                    QTest::addRow("%c-%d-%d/%d", c, f, g, s) << g << s << c << f;
    }
    void run() {
        QFETCH(int, g); QFETCH(int, s); QFETCH(char, cmd); QFETCH(int, fault);
        QString error;
        auto sim = SimServer::startPty(demoProfile(), &error);
        ModuleTable modules; SharedState state; RecordingHost host;
        QTemporaryDir dir; QDir::setCurrent(dir.path());
        QSettings ini("OXLCom.ini", QSettings::IniFormat);
        ini.setValue("ComPort/Port", sim->slavePath()); ini.sync();
        Link link(modules, state, host);
        QVERIFY(link.OpenLink());
        QVERIFY(link.SelectModule(g, s));
        link.ReadInfoBlock(s, g);
        SimFaults f; if (fault == 0) f.garbleReplies = 1; else f.unterminated = 1;
        sim->headend().setFaults(g, s, f);
        auto run = [&](char c) -> QString {
            QString out;
            try {
                bool ok = false;
                switch (c) {
                case '0': ok = link.ReadInfoBlock(s, g); break;
                case '2': ok = link.ReadValues(s, g); break;
                case '1': ok = link.ReadDiagBytes(s, g); break;
                case ':': ok = link.ReadExtDiag(s, g); break;
                case '<': ok = link.ReadMessages(s, g); break;
                case ';': ok = link.ReadVersion(s, g); break;
                case '?': link.ReplyTimeout = 2000; ok = link.ReadSerial(s, g); break;
                case '$': ok = link.ReadHtmlMarker(s, g); break;
                }
                out = ok ? "ok" : "false";
            } catch (const OrvexError& e) { out = "throw " + e.text(); }
            const TModule* m = modules.at(s, g);
            out += QString(" type=%1 ver=%2 params=%3 ch=%4 diag=%5 fault=%6 ext=%7 ser=%8 mark=%9 err=%10 msgs=%11 v0=%12")
                .arg(m->TypeName, m->VersionText).arg(m->ParamCount).arg(m->ChannelCount)
                .arg(m->DiagBytes.join(',')).arg(m->DiagFault).arg(m->ExtDiag.join('|'))
                .arg(m->SerialText, m->HtmlMarker).arg(m->ErrorCount).arg(m->Messages.join('|'))
                .arg(m->Params.isEmpty() ? -1 : m->Params[qMin(1, m->Params.size()-1)].Values[0]);
            return out;
        };
        qInfo().noquote() << "FAULT " << run(cmd);
        qInfo().noquote() << "NEXT  " << (link.SelectModule(g, s) ? "sel " : "nosel ") << run(cmd);
        QDir::setCurrent("/");
    }
};
QTEST_GUILESS_MAIN(Explore)
#include "explore.moc"
