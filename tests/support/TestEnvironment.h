#pragma once

#include <QString>
#include <QTemporaryDir>

// Points the per-user config, data and temporary folders of this process at a
// fresh temporary folder, so no test touches the user's real files. Create it
// before the QCoreApplication (see VREX_TEST_MAIN).
class TestEnvironment {
public:
    TestEnvironment();
    static TestEnvironment &instance();

    QString root() const { return dir.path(); }
    QString configHome() const { return dir.path() + QStringLiteral("/config"); }
    QString dataHome() const { return dir.path() + QStringLiteral("/data"); }
    QString tempDir() const { return dir.path() + QStringLiteral("/tmp"); }

private:
    QTemporaryDir dir;
};

// A QtTest main that isolates the process first. App is QApplication for
// window tests, QCoreApplication otherwise.
#define VREX_TEST_MAIN(TestClass, App)                                                             \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        TestEnvironment::instance();                                                               \
        App app(argc, argv);                                                                       \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestClass tc;                                                                              \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
