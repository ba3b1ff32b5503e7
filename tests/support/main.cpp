#include "tests/support/TestMain.h"

#include <QtTest>
#include <map>
#include <memory>
#if ORVEX_TEST_GUI
#include <QApplication>
#endif

namespace {
std::map<QByteArray, orvex_test::Factory>& registry() {
    static std::map<QByteArray, orvex_test::Factory> tests;
    return tests;
}
} // namespace

bool orvex_test::registerTest(const char* name, Factory make) {
    registry()[name] = make;
    return true;
}

// ORVEX_TEST_GUI: the folder's tests open windows. The browser engine wants its settings before
// the application object exists, and as root it runs only without its sandbox.
int main(int argc, char** argv) {
    QByteArray only;
    if (argc > 1 && argv[1][0] != '-') {
        only = argv[1];
        argv[1] = argv[0];
        --argc;
        ++argv;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#if ORVEX_TEST_GUI
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    int failed = 0;
    int ran = 0;
    for (const auto& [name, make] : registry()) {
        if (!only.isEmpty() && name != only)
            continue;
        ++ran;
        std::unique_ptr<QObject> test(make());
        failed += QTest::qExec(test.get(), argc, argv);
    }
    if (ran == 0) {
        qWarning("no test class named %s", only.constData());
        return 2;
    }
    return failed;
}
