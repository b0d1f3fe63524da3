#include "TestEnvironment.h"
#include "render/MarkdownToHTML.h"

#include <QApplication>
#include <QtConcurrent>
#include <QtTest>

#include <optional>

// Renders from worker threads and the GUI thread share one JavaScript
// context; each must get the HTML of its own input.
class tst_RenderConcurrency : public QObject
{
    Q_OBJECT

private:
    static QString input(int n)
    {
        return QStringLiteral("# Doc %1\n\nmarker-%1 *text* [^a]\n\n[^a]: note-%1\n\n%2").arg(n).arg(QString(n % 7 * 300, QLatin1Char('x')));
    }
    static bool ownOutput(const QString &html, int n)
    {
        return html.contains(QStringLiteral("<h1>Doc %1</h1>").arg(n)) && html.contains(QStringLiteral("marker-%1 ").arg(n))
            && html.contains(QStringLiteral("note-%1 ").arg(n)) && html.count(QStringLiteral("marker-")) == 1;
    }

private Q_SLOTS:
    void workersAndGuiThreadNeverSwapInputs()
    {
        QVERIFY(MarkdownToHTML::hasLibrary());
        QThreadPool pool;
        pool.setMaxThreadCount(6);
        QList<int> numbers;
        for (int n = 0; n < 240; ++n)
            numbers.append(n);
        QFuture<int> wrong = QtConcurrent::mappedReduced(
            &pool, numbers, [](int n) { return ownOutput(MarkdownToHTML::renderedBodyHTML(input(n)), n) ? 0 : 1; },
            [](int &sum, int one) { sum += one; });
        int guiWrong = 0;
        for (int n = 1000; n < 1080; ++n) {
            if (!ownOutput(MarkdownToHTML::renderedBodyHTML(input(n)), n))
                ++guiWrong;
            QCoreApplication::processEvents();
        }
        wrong.waitForFinished();
        QCOMPARE(guiWrong, 0);
        QCOMPARE(wrong.result(), 0);
    }

    // A render asked to stop stops inside the converter (one long paragraph takes it
    // seconds), and the shared context renders normally afterwards.
    void abandonedRenderStopsAndContextRecovers()
    {
        QVERIFY(MarkdownToHTML::hasLibrary());
        const QString paragraph = QStringLiteral("word *em* `c` ").repeated(200000);
        int asked = 0;
        QThread *renderThread = nullptr;
        const std::optional<QString> stopped = MarkdownToHTML::renderedBodyHTML(paragraph, [&] {
            renderThread = QThread::currentThread();
            // The first question comes before the run; the later ones from inside it.
            return ++asked > 3;
        });
        QVERIFY(!stopped);
        QVERIFY(asked > 3);
        QCOMPARE(renderThread, QThread::currentThread());

        QCOMPARE(MarkdownToHTML::renderedBodyHTML(QStringLiteral("*after*")), QStringLiteral("<p><em>after</em></p>\n"));
        const std::optional<QString> wanted =
            MarkdownToHTML::renderedBodyHTML(QStringLiteral("**kept**"), [] { return false; });
        QCOMPARE(wanted, std::optional<QString>(QStringLiteral("<p><strong>kept</strong></p>\n")));
    }
};

SORVANE_TEST_MAIN(tst_RenderConcurrency)
#include "tst_RenderConcurrency.moc"
