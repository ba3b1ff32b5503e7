// `cmake --install --prefix /usr` into a scratch folder: the tree the packages carry, and
// each packaging file checked by the tool that checks it on Debian (desktop-file-validate,
// appstreamcli, man, systemd-analyze) or by bash itself (the completions).
#include "tests/support/Expect.h"
#include "tests/support/Files.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {
struct Run {
    int status = -1;
    QString out, err;
};
Run run(const QString& program, const QStringList& args, const QStringList& env = {}) {
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString& kv : env)
        e.insert(kv.section('=', 0, 0), kv.section('=', 1));
    p.setProcessEnvironment(e);
    p.start(program, args);
    if (!p.waitForFinished(120000))
        p.kill(), p.waitForFinished();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}
} // namespace

class InstallTest : public QObject {
    Q_OBJECT
    QTemporaryDir dest;
    QString at(const QString& path) const { return dest.path() + path; }

private Q_SLOTS:
    void initTestCase() {
        const Run r = run("cmake", {"--install", ORVEX_BUILD_DIR, "--prefix", "/usr"},
                          {"DESTDIR=" + dest.path()});
        QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
    }

    void tree_data() {
        QTest::addColumn<QString>("path");
        for (const char* program : {"orvex-link", "orvex-cli", "orvex-monitor", "headend-sim"}) {
            QTest::addRow("%s", program) << QString("/usr/bin/") + program;
            QTest::addRow("%s.1", program) << QString("/usr/share/man/man1/%1.1.gz").arg(program);
        }
        for (const char* size : {"16x16", "32x32", "48x48", "64x64", "128x128", "256x256"})
            QTest::newRow(size)
                << QString("/usr/share/icons/hicolor/%1/apps/orvex-link.png").arg(size);
        for (const char* path :
             {"/usr/share/icons/hicolor/scalable/apps/orvex-link.svg",
              "/usr/share/orvex-link/Help/ORVEXLINK_EN.hlp",
              "/usr/share/orvex-link/Help/ORVEXLINK_RU.hlp",
              "/usr/share/applications/orvex-link.desktop",
              "/usr/share/metainfo/example.orvex.Link.metainfo.xml",
              "/usr/share/bash-completion/completions/orvex-cli",
              "/usr/share/bash-completion/completions/orvex-monitor",
              "/lib/systemd/system/orvex-monitor@.service", "/etc/orvex-monitor/orvex-monitor.env",
              "/usr/share/doc/orvex-link/copyright", "/usr/share/doc/orvex-link/changelog.gz",
              "/usr/share/doc/orvex-tools/copyright", "/usr/share/doc/orvex-tools/changelog.gz",
              "/usr/share/doc/orvex-tools/examples/prometheus.yml",
              "/usr/share/doc/orvex-tools/examples/orvex-alerts.yml"})
            QTest::newRow(path) << path;
    }
    void tree() {
        QFETCH(QString, path);
        QVERIFY2(QFileInfo(at(path)).isFile(), qPrintable(path));
        const QByteArray png = fileBytes(at(path));
        if (path.endsWith(".png")) { // a size folder holds a picture of its size
            const int size = path.section('/', 5, 5).section('x', 0, 0).toInt();
            QCOMPARE(qFromBigEndian<quint32>(png.constData() + 16), quint32(size));
        }
    }

    // The checkers Debian's tools use; each must be content without a word of warning.
    void checked_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("desktop entry")
            << "desktop-file-validate"
            << QStringList{"@/usr/share/applications/orvex-link.desktop"};
        QTest::newRow("metainfo") << "appstreamcli"
                                  << QStringList{
                                         "validate", "--no-net",
                                         "@/usr/share/metainfo/example.orvex.Link.metainfo.xml"};
        for (const char* page : {"orvex-link", "orvex-cli", "orvex-monitor", "headend-sim"})
            QTest::newRow(page) << "man"
                                << QStringList{"--warnings", "-l",
                                               QString("@/usr/share/man/man1/%1.1.gz").arg(page)};
    }
    void checked() {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        args.replaceInStrings(QRegularExpression("^@"), dest.path());
        const Run r = run(program, args, {"MANWIDTH=80", "MAN_DISABLE_SECCOMP=1"});
        QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
        const QString said = program == "appstreamcli" ? r.out.section("\n\n", 0, 0) : r.err;
        // appstreamcli gives infos ("I:") on an id in the reserved example domain.
        QVERIFY2(!QRegularExpression("^[WE]:|warning", QRegularExpression::MultilineOption)
                      .match(said)
                      .hasMatch(),
                 qPrintable(said));
        if (program == "man")
            EXPECT_HAS(r.out, "EXIT STATUS");
    }

    // The unit starts the installed program, and systemd takes every line of it.
    void unit() {
        QString unit =
            QString::fromUtf8(fileBytes(at("/lib/systemd/system/orvex-monitor@.service")));
        EXPECT_HAS(unit, "ExecStart=/usr/bin/orvex-monitor --port /dev/%I ");
        EXPECT_HAS(unit, "EnvironmentFile=-/etc/orvex-monitor/orvex-monitor.env");
        // Verified as it would run from this tree (the man page is checked above).
        QTemporaryDir units;
        const QString copy = units.filePath("orvex-monitor@.service");
        QVERIFY(writeFile(copy, unit.replace("=/usr/bin/", "=" + at("/usr/bin/")).toUtf8()));
        const Run r = run("systemd-analyze",
                          {"verify", "--man=no", units.filePath("orvex-monitor@ttyUSB0.service")});
        QVERIFY2(r.status == 0 && r.err.isEmpty(), qPrintable(r.err));
        // The settings file is a conffile of the package.
        const QByteArray conffiles = fileBytes(ORVEX_SOURCE_DIR "/packaging/conffiles");
        QCOMPARE(conffiles, QByteArray("/etc/orvex-monitor/orvex-monitor.env\n"));
    }

    // Each man page names every option its program's --help lists.
    void everyOptionDocumented_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("orvex-cli") << "orvex-cli";
        QTest::newRow("orvex-monitor") << "orvex-monitor";
        QTest::newRow("headend-sim") << "headend-sim";
    }
    void everyOptionDocumented() {
        QFETCH(QString, program);
        const Run help = run(at("/usr/bin/") + program, {"--help"});
        const Run page = run("man", {"-l", at("/usr/share/man/man1/") + program + ".1.gz"},
                             {"MANWIDTH=200", "MAN_DISABLE_SECCOMP=1"});
        QRegularExpressionMatchIterator it = QRegularExpression("--[a-z-]+").globalMatch(help.out);
        QStringList options;
        while (it.hasNext())
            options << it.next().captured();
        QVERIFY(options.size() >= 5);
        for (const QString& option : options)
            QVERIFY2(page.out.contains(option), qPrintable(program + " " + option));
    }

    // The shell offers the commands, the options and the ports the tool lists.
    void completion_data() {
        QTest::addColumn<QString>("line"); // the words typed, the last one being completed
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("commands") << "orvex-cli ''"
                                  << QStringList{"ports",       "scan",   "show",
                                                 "save-config", "backup", "pages"};
        QTest::newRow("options") << "orvex-cli --p" << QStringList{"--port"};
        QTest::newRow("ports") << "orvex-cli --port ''" << QStringList{"DEMO"};
        QTest::newRow("modules") << "orvex-cli --port DEMO show 2/1" << QStringList{"2/1", "2/16"};
        QTest::newRow("monitor options")
            << "orvex-monitor --" << QStringList{"--bridge", "--rescan"};
        QTest::newRow("monitor ports") << "orvex-monitor --port D" << QStringList{"DEMO"};
    }
    void completion() {
        QFETCH(QString, line);
        QFETCH(QStringList, offered);
        const QString tool = line.section(' ', 0, 0);
        const QString script =
            QString("source %1; COMP_WORDS=(%2); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); "
                    "_%3; printf '%s\\n' \"${COMPREPLY[@]}\"")
                .arg(at("/usr/share/bash-completion/completions/") + tool, line,
                     QString(tool).replace('-', '_'));
        const Run r = run("bash", {"-c", script}, {"PATH=" + at("/usr/bin") + ":/usr/bin:/bin"});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        const QStringList got = r.out.split('\n', Qt::SkipEmptyParts);
        for (const QString& word : offered)
            EXPECT_HAS(got, word);
    }

    // Every command of the tool's usage is offered.
    void completionKnowsEveryCommand() {
        const Run help = run(at("/usr/bin/orvex-cli"), {"--help"});
        const QString script = fileBytes(at("/usr/share/bash-completion/completions/orvex-cli"));
        const QStringList offered = QRegularExpression("commands=\"([^\"]*)\"")
                                        .match(script)
                                        .captured(1)
                                        .split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
        const QString commands = help.out.section("Commands:", 1).section("Options:", 0, 0);
        QRegularExpressionMatchIterator it =
            QRegularExpression("^  ([a-z-]+) ", QRegularExpression::MultilineOption)
                .globalMatch(commands);
        int seen = 0;
        for (; it.hasNext(); ++seen)
            EXPECT_HAS(offered, it.next().captured(1));
        QVERIFY(seen >= 15);
    }
};

ORVEX_TEST(InstallTest)
#include "install.moc"
