#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// Gives a test process its own HOME and XDG folders in a temp folder, so nothing
// touches the real user's files. Call before any application object exists.
class TestEnvironment
{
public:
    TestEnvironment()
    {
        m_root.setAutoRemove(qEnvironmentVariableIsEmpty("SORVANE_KEEP_TEST_HOME"));
        const QString root = m_root.path();
        const auto folder = [&](const char *name, const QString &sub) {
            const QString path = root + QLatin1Char('/') + sub;
            QDir().mkpath(path);
            qputenv(name, QFile::encodeName(path));
        };
        folder("HOME", QStringLiteral("home"));
        folder("XDG_CONFIG_HOME", QStringLiteral("home/.config"));
        folder("XDG_DATA_HOME", QStringLiteral("home/.local/share"));
        folder("XDG_STATE_HOME", QStringLiteral("home/.local/state"));
        folder("XDG_CACHE_HOME", QStringLiteral("home/.cache"));
        folder("XDG_RUNTIME_DIR", QStringLiteral("runtime"));
        QFile::setPermissions(root + QStringLiteral("/runtime"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        // Usage events of tests (and of the apps they start) go to a closed local
        // port, never to the real services; a test with a peer sets its own.
        for (const char *name : {"SORVANE_ANALYTICS_URL", "SORVANE_IDENTITY_URL", "SORVANE_MARKETING_URL"}) {
            if (qEnvironmentVariableIsEmpty(name))
                qputenv(name, "http://127.0.0.1:9");
        }
    }

    QString root() const { return m_root.path(); }
    QString home() const { return m_root.path() + QStringLiteral("/home"); }

private:
    QTemporaryDir m_root;
};

// QTEST_MAIN with an isolated environment set up before the application object.
#define SORVANE_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        TestEnvironment environment;                                                               \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                        \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
