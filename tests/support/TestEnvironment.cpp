#include "TestEnvironment.h"

#include <QDir>
#include <QStandardPaths>

#include <cstdlib>

TestEnvironment::TestEnvironment()
{
    QDir().mkpath(configHome());
    QDir().mkpath(dataHome());
    QDir().mkpath(tempDir());
    qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
    qputenv("XDG_DATA_HOME", dataHome().toUtf8());
    qputenv("TMPDIR", tempDir().toUtf8());
}

TestEnvironment &TestEnvironment::instance()
{
    static TestEnvironment env;
    return env;
}
