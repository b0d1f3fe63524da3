#include "TestEnvironment.h"
#include "render/MarkdownToHTML.h"

#include <QApplication>
#include <QtConcurrent>
#include <QtTest>

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
};

SORVANE_TEST_MAIN(tst_RenderConcurrency)
#include "tst_RenderConcurrency.moc"
