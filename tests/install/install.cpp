// `cmake --install --prefix /usr` into a scratch folder: the tree the packages carry, and
// each packaging file checked by the tool that checks it on Debian (desktop-file-validate,
// appstreamcli, man, systemd-analyze) or by bash itself (the completions).
#include "tests/support/Expect.h"
#include "tests/support/Files.h"
#include "tests/support/TestMain.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
struct Run {
    int status = -1;
    QString out, err;
};
Run run(const QString& program, const QStringList& args, const QString& env = {}) {
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("MAN_DISABLE_SECCOMP", "1");
    if (!env.isEmpty())
        e.insert(env.section('=', 0, 0), env.section('=', 1));
    p.setProcessEnvironment(e);
    p.start(program, args);
    p.waitForFinished(120000);
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}
// The words of a text that match the pattern's first group.
QStringList matches(const QString& pattern, const QString& text) {
    QStringList words;
    auto it = QRegularExpression(pattern, QRegularExpression::MultilineOption).globalMatch(text);
    while (it.hasNext())
        words << it.next().captured(1);
    return words;
}
} // namespace

class InstallTest : public QObject {
    Q_OBJECT
    QTemporaryDir dest;
    QString at(const QString& path) const { return dest.path() + path; }

private Q_SLOTS:
    void initTestCase() {
        const Run r = run("cmake", {"--install", ORVEX_BUILD_DIR, "--prefix", "/usr"},
                          "DESTDIR=" + dest.path());
        QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
    }

    void tree() {
        QStringList paths{"/usr/share/icons/hicolor/scalable/apps/orvex-link.svg",
                          "/usr/share/orvex-link/Help/ORVEXLINK_EN.hlp",
                          "/usr/share/orvex-link/Help/ORVEXLINK_RU.hlp",
                          "/etc/orvex-agent/orvex-agent.env",
                          "/usr/lib/sysusers.d/orvex-agent.conf",
                          "/usr/share/doc/orvex-tools/examples/prometheus.yml",
                          "/usr/share/doc/orvex-tools/examples/orvex-alerts.yml"};
        for (const char* program : {"orvex-link", "orvex-cli", "orvex-agent", "headend-sim"})
            paths << QString("/usr/bin/") + program;
        for (const char* file : {"manifest.json", "index.html", "orvex.js", "orvex.css"})
            paths << QString("/usr/share/cockpit/orvex/") + file;
        for (const char* package : {"orvex-link", "orvex-tools", "orvex-cockpit"})
            paths << QString("/usr/share/doc/%1/copyright").arg(package)
                  << QString("/usr/share/doc/%1/changelog.gz").arg(package);
        for (int size : {16, 32, 48, 64, 128, 256})
            paths << QString("/usr/share/icons/hicolor/%1x%1/apps/orvex-link.png").arg(size);
        for (const QString& path : paths)
            QVERIFY2(QFileInfo(at(path)).isFile(), qPrintable(path));
        // The agent's name before, for one release: links, so that nothing of it can differ.
        for (const char* link : {"/usr/bin/orvex-monitor", "/usr/share/man/man1/orvex-monitor.1.gz",
                                 "/usr/share/bash-completion/completions/orvex-monitor",
                                 "/lib/systemd/system/orvex-monitor@.service"})
            QVERIFY2(QFileInfo(at(link)).isSymLink() && QFileInfo(at(link)).isFile(), link);
    }

    // The checkers Debian's tools use, content without a word of warning; a man page also
    // names every option of its program's --help.
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
        for (const char* page : {"orvex-link", "orvex-cli", "orvex-agent", "headend-sim"})
            QTest::newRow(page) << "man"
                                << QStringList{"--warnings", "-l",
                                               QString("@/usr/share/man/man1/%1.1.gz").arg(page)};
    }
    void checked() {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        args.replaceInStrings(QRegularExpression("^@"), dest.path());
        const Run r = run(program, args, "MANWIDTH=200");
        QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
        // appstreamcli's infos ("I:") are about an id in the reserved example domain.
        const QString said = program == "appstreamcli" ? r.out.section("\n\n", 0, 0) : r.err;
        QVERIFY2(!QRegularExpression("^[WE]:|warning", QRegularExpression::MultilineOption)
                      .match(said)
                      .hasMatch(),
                 qPrintable(said));
        const QString tool = at("/usr/bin/") + QTest::currentDataTag();
        if (program == "man" && QTest::currentDataTag() != QString("orvex-link"))
            for (const QString& option : matches("(--[a-z-]+)", run(tool, {"--help"}).out))
                QVERIFY2(r.out.contains(option), qPrintable(option));
    }

    // The unit starts the installed program on its socket, reads the settings of before the
    // new ones, and systemd takes every line of it.
    void unit() {
        QString unit = fileBytes(at("/lib/systemd/system/orvex-agent@.service"));
        EXPECT_HAS(unit, "ExecStart=/usr/bin/orvex-agent --port /dev/%I --socket "
                         "/run/orvex-agent/%i.sock ");
        EXPECT_HAS(unit, "EnvironmentFile=-/etc/orvex-agent/orvex-agent.env\n"
                         "EnvironmentFile=-/etc/orvex-monitor/%i.env\n"
                         "EnvironmentFile=-/etc/orvex-agent/%i.env\n");
        QCOMPARE(fileBytes(ORVEX_SOURCE_DIR "/packaging/debian/conffiles"),
                 QByteArray("/etc/orvex-agent/orvex-agent.env\n"));
        // Verified as it would run from this tree (its man page is checked above).
        QTemporaryDir units;
        unit.replace("=/usr/bin/", "=" + at("/usr/bin/"));
        QVERIFY(writeFile(units.filePath("orvex-agent@.service"), unit.toUtf8()));
        const Run r = run("systemd-analyze",
                          {"verify", "--man=no", units.filePath("orvex-agent@ttyUSB0.service")});
        QVERIFY2(r.status == 0 && r.err.isEmpty(), qPrintable(r.err));
    }

    // The shell offers the commands (every one of the usage), options and the listed ports.
    void completion_data() {
        QTest::addColumn<QString>("line"); // the words typed, the last one being completed
        QTest::addColumn<QStringList>("offered");
        const QString usage =
            run(at("/usr/bin/orvex-cli"), {"--help"}).out.section("Options:", 0, 0);
        QTest::newRow("commands") << "orvex-cli ''" << matches("^  ([a-z-]+) ", usage);
        QTest::newRow("options") << "orvex-cli --p" << QStringList{"--port"};
        QTest::newRow("ports") << "orvex-cli --port ''" << QStringList{"DEMO"};
        QTest::newRow("modules") << "orvex-cli --port DEMO show 2/1" << QStringList{"2/1", "2/16"};
        QTest::newRow("agent options") << "orvex-agent --" << QStringList{"--socket", "--stdio"};
        QTest::newRow("monitor options") << "orvex-monitor --" << QStringList{"--bridge"};
    }
    void completion() {
        QFETCH(QString, line);
        QFETCH(QStringList, offered);
        QVERIFY(!offered.isEmpty());
        const QString tool = line.section(' ', 0, 0);
        // The function that bash would call for the tool.
        const QString script =
            QString("source %1; COMP_WORDS=(%2); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); "
                    "$(complete -p %3 | sed 's/.*-F \\([^ ]*\\) .*/\\1/'); "
                    "printf '%s\\n' \"${COMPREPLY[@]}\"")
                .arg(at("/usr/share/bash-completion/completions/") + tool, line, tool);
        const Run r = run("bash", {"-c", script}, "PATH=" + at("/usr/bin") + ":/usr/bin:/bin");
        QVERIFY2(r.status == 0, qPrintable(r.err));
        for (const QString& word : offered)
            EXPECT_HAS(r.out.split('\n'), word);
    }
};

ORVEX_TEST(InstallTest)
#include "install.moc"
