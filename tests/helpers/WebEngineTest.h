#pragma once

#include "TestEnvironment.h"
#include "preview/WebSchemes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>

// The text as a JavaScript string literal.
inline QString jsString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// Runs a script in the page's main world and waits for its result.
inline QVariant runScript(QWebEnginePage *page, const QString &script, int timeoutMs = 20000)
{
    QVariant result;
    bool done = false;
    page->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, timeoutMs))
        qWarning("script did not answer: %s", qPrintable(script.left(80)));
    return result;
}

// Waits for a page-side condition (a script giving true).
inline bool waitForScript(QWebEnginePage *page, const QString &condition, int timeoutMs = 30000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (runScript(page, condition).toBool())
            return true;
        QTest::qWait(50);
    }
    return false;
}

// Like SORVANE_TEST_MAIN, prepared as the application prepares itself for the web
// engine: its URL schemes registered and GL contexts shared before the application object.
#define SORVANE_WEBENGINE_TEST_MAIN(TestObject)                                                    \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        TestEnvironment environment;                                                               \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                        \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                \
        registerWebSchemes();                                                                      \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
