// Where save and open panels start and what a typed name becomes, through the
// presenter base every panel passes, and once through the real file dialog.
#include "ScriptedAlertPresenter.h"
#include "TestEnvironment.h"

#include "platform/AlertPresenter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(AlertRequest::Icon)

namespace {

const QString markdownFilter = QStringLiteral("Markdown (*.md *.markdown *.mdown *.mkd *.mkdn *.mdx)");

FilePanelRequest markdownPanel(const QString &directory = QString())
{
    FilePanelRequest request;
    request.nameFilters = {markdownFilter};
    request.defaultSuffix = QStringLiteral("md");
    request.directory = directory;
    return request;
}

QString canonicalFolder(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

// Runs act on the first visible top-level Dialog once it shows; the modal call under
// test returns when act has closed it.
template <typename Dialog, typename Act>
void answerWhenShown(QTimer &timer, QObject *context, Act act)
{
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, context, [&timer, act] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<Dialog *>(widget);
            if (!dialog || !dialog->isVisible())
                continue;
            timer.stop();
            act(dialog);
            return;
        }
    });
    timer.start();
}

} // namespace

class tst_AlertPresenter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultSuffix_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QStringList>("filters");
        QTest::addColumn<bool>("keepsOther");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");

        const QStringList markdown{markdownFilter};
        const QStringList pdf{QStringLiteral("PDF (*.pdf)")};
        const QStringList html{QStringLiteral("HTML (*.html *.htm)")};
        const QString md = QStringLiteral("md");
        const QString enc = QStringLiteral("md.enc");
        const auto row = [](const char *name, const QString &suffix, const QStringList &filters, bool keepsOther,
                            const char *typed, const char *expected) {
            QTest::newRow(name) << suffix << filters << keepsOther << QString::fromUtf8(typed)
                                << QString::fromUtf8(expected);
        };

        row("save as: bare name", md, markdown, true, "/d/notes", "/d/notes.md");
        row("save as: right extension", md, markdown, true, "/d/notes.md", "/d/notes.md");
        row("save as: right extension, other case", md, markdown, true, "/d/notes.MD", "/d/notes.MD");
        row("save as: another Markdown extension", md, markdown, true, "/d/notes.markdown", "/d/notes.markdown");
        row("save as: the user's own extension", md, markdown, true, "/d/notes.txt", "/d/notes.txt");
        row("save as: trailing dot", md, markdown, true, "/d/notes.", "/d/notes.md");
        row("save as: hidden name", md, markdown, true, "/d/.notes", "/d/.notes.md");
        row("save as: dot in the folder only", md, markdown, true, "/d.v2/notes", "/d.v2/notes.md");
        row("pdf: bare name", QStringLiteral("pdf"), pdf, false, "/d/notes", "/d/notes.pdf");
        row("pdf: right extension", QStringLiteral("pdf"), pdf, false, "/d/notes.pdf", "/d/notes.pdf");
        row("pdf: other extension", QStringLiteral("pdf"), pdf, false, "/d/notes.txt", "/d/notes.txt.pdf");
        row("html: bare name", QStringLiteral("html"), html, false, "/d/notes", "/d/notes.html");
        row("html: short extension", QStringLiteral("html"), html, false, "/d/notes.htm", "/d/notes.htm");
        row("encrypted: bare name", enc, {}, false, "/d/notes", "/d/notes.md.enc");
        row("encrypted: plain Markdown name", enc, {}, false, "/d/notes.md", "/d/notes.md.enc");
        row("encrypted: right extension", enc, {}, false, "/d/notes.md.enc", "/d/notes.md.enc");
        row("encrypted: last part only", enc, {}, false, "/d/notes.enc", "/d/notes.enc");
        row("no default suffix", QString(), {}, false, "/d/notes", "/d/notes");
    }

    void defaultSuffix()
    {
        QFETCH(QString, suffix);
        QFETCH(QStringList, filters);
        QFETCH(bool, keepsOther);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        FilePanelRequest request;
        request.defaultSuffix = suffix;
        request.nameFilters = filters;
        request.keepsOtherSuffix = keepsOther;
        QCOMPARE(withDefaultSuffix(typed, request), expected);
    }

    // Every presenter's answer gets the suffix, not only the real dialog's.
    void chosenPathGetsDefaultSuffix()
    {
        ScriptedAlertPresenter user;
        user.saveAnswers = {QStringLiteral("/d/notes")};
        QCOMPARE(user.chooseSaveFile(markdownPanel()).value_or(QString()), QStringLiteral("/d/notes.md"));
        QVERIFY(!user.chooseSaveFile(markdownPanel()));
    }

    // A name completed after the panel closed that names an existing file is asked
    // about before anything can replace it.
    void completedNameOfExistingFileAsksFirst_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("chosen");
        QTest::newRow("new file") << false << -1 << true;
        QTest::newRow("existing, replace") << true << 0 << true;
        QTest::newRow("existing, cancel") << true << 1 << false;
    }
    void completedNameOfExistingFileAsksFirst()
    {
        QFETCH(bool, exists);
        QFETCH(int, answer);
        QFETCH(bool, chosen);
        QTemporaryDir dir;
        const QString completed = dir.filePath(QStringLiteral("notes.md"));
        if (exists) {
            QFile file(completed);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("kept");
        }
        ScriptedAlertPresenter user;
        user.saveAnswers = {dir.filePath(QStringLiteral("notes"))};
        user.alertAnswers = {answer};
        const std::optional<QString> path = user.chooseSaveFile(markdownPanel());
        QCOMPARE(path.has_value(), chosen);
        if (chosen)
            QCOMPARE(*path, completed);
        QCOMPARE(user.alerts.size(), exists ? 1 : 0);
        if (exists)
            QCOMPARE(user.alerts.first().buttons.first(), QStringLiteral("Replace"));
        // A name typed in full was the panel's own question: nothing more is asked.
        user.saveAnswers = {completed};
        QCOMPARE(user.chooseSaveFile(markdownPanel()).value_or(QString()), completed);
        QCOMPARE(user.alerts.size(), exists ? 1 : 0);
    }

    // A panel without a folder starts at home, then where the user last went in a
    // save or open panel; a cancelled panel changes nothing; a given folder wins.
    void panelWithoutFolderStartsInLastUsed()
    {
        ScriptedAlertPresenter user;
        user.saveAnswers = {QStringLiteral("/first/notes"), std::nullopt, std::nullopt, QStringLiteral("/given/x.md")};
        user.openAnswers = {QStringList{QStringLiteral("/opened/a.md"), QStringLiteral("/elsewhere/b.md")},
                            QStringList()};
        const auto ignored = [](const QStringList &) {};

        user.chooseSaveFile(markdownPanel());
        user.chooseSaveFile(markdownPanel());
        user.chooseOpenFiles(markdownPanel(), ignored);
        user.chooseSaveFile(markdownPanel());
        user.chooseSaveFile(markdownPanel(QStringLiteral("/given")));
        user.chooseOpenFiles(markdownPanel(), ignored);
        user.chooseSaveFile(markdownPanel());

        QStringList saveFolders;
        for (const FilePanelRequest &request : std::as_const(user.savePanels))
            saveFolders.append(request.directory);
        QStringList openFolders;
        for (const FilePanelRequest &request : std::as_const(user.openPanels))
            openFolders.append(request.directory);
        QCOMPARE(saveFolders, (QStringList{QDir::homePath(), QStringLiteral("/first"), QStringLiteral("/opened"),
                                           QStringLiteral("/given"), QStringLiteral("/given")}));
        QCOMPARE(openFolders, (QStringList{QStringLiteral("/first"), QStringLiteral("/given")}));
    }

    void longTextIsElided_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxChars");
        QTest::addColumn<QString>("expected");
        const QString face = QStringLiteral("\U0001F600"); // two UTF-16 units
        QTest::newRow("fits") << QStringLiteral("/home/a.md") << 10 << QStringLiteral("/home/a.md");
        QTest::newRow("path keeps both ends") << QStringLiteral("/home/user/deep/folder/name.md") << 13
                                              << QStringLiteral("/home/…ame.md");
        QTest::newRow("pair at the head's cut") << (QStringLiteral("abc") + face + QStringLiteral("defgh")) << 9
                                                << QStringLiteral("abc…efgh");
        QTest::newRow("pair at the tail's cut") << (QStringLiteral("abcdef") + face + QStringLiteral("gh")) << 7
                                                << QStringLiteral("abc…gh");
    }

    void longTextIsElided()
    {
        QFETCH(QString, text);
        QFETCH(int, maxChars);
        QFETCH(QString, expected);
        QCOMPARE(elidedForAlert(text, maxChars), expected);
    }

    // A name of a megabyte (a handed-over argument can be that long) reaches the real
    // message box elided: laid out whole it takes minutes.
    void alertWithHugeNameShowsItElided()
    {
        const QString name = QString(1024 * 1024, QLatin1Char('n')) + QStringLiteral("-end.md");
        AlertRequest request = AlertRequest::failure(
            QStringLiteral("Could not open file"),
            QStringLiteral("sorv.ane could not open \"%1\". The file may be missing.").arg(name));
        request.accessoryText = QStringLiteral("/start/") + name;

        WidgetAlertPresenter presenter;
        QString shownText;
        QString shownInformative;
        QTimer answer;
        answerWhenShown<QMessageBox>(answer, this, [&](QMessageBox *box) {
            shownText = box->text();
            shownInformative = box->informativeText();
            box->buttons().constFirst()->click();
        });
        QCOMPARE(presenter.runModal(request), 0);

        QCOMPARE(shownText, QStringLiteral("Could not open file"));
        QVERIFY(shownInformative.size() <= maxAlertTextChars + 2 + maxAlertPathChars);
        QVERIFY(shownInformative.startsWith(QStringLiteral("sorv.ane could not open \"nnn")));
        QVERIFY(shownInformative.contains(QStringLiteral("\". The file may be missing.\n\n/start/nnn")));
        QVERIFY(shownInformative.endsWith(QStringLiteral("nnn-end.md")));
    }

    // A file name is text: markup in it must not turn into a link or a picture.
    void markupInNamesStaysText()
    {
        const QString name = QStringLiteral("<b>bold</b><a href=\"file:///etc/passwd\">x</a>.md");
        AlertRequest request = AlertRequest::failure(QStringLiteral("Could not open file %1").arg(name),
                                                     QStringLiteral("sorv.ane could not open \"%1\".").arg(name));
        request.accessoryText = QStringLiteral("/start/") + name;

        WidgetAlertPresenter presenter;
        QStringList richLabels;
        int labelsWithName = 0;
        QTimer answer;
        answerWhenShown<QMessageBox>(answer, this, [&](QMessageBox *box) {
            for (QLabel *label : box->findChildren<QLabel *>()) {
                if (!label->text().contains(QStringLiteral("<b>bold</b>")))
                    continue;
                ++labelsWithName;
                if (label->textFormat() != Qt::PlainText)
                    richLabels << label->text();
            }
            box->buttons().constFirst()->click();
        });
        presenter.runModal(request);
        QCOMPARE(labelsWithName, 2);
        QVERIFY2(richLabels.isEmpty(), qPrintable(richLabels.join(u'|')));
    }

    void alertIcon_data()
    {
        QTest::addColumn<AlertRequest::Icon>("icon");
        QTest::addColumn<int>("symbol");
        QTest::addColumn<bool>("applicationIcon");
        QTest::newRow("style's symbol") << AlertRequest::Icon::ForStyle << int(QMessageBox::Information) << false;
        QTest::newRow("application icon") << AlertRequest::Icon::Application << int(QMessageBox::NoIcon) << true;
        QTest::newRow("nothing") << AlertRequest::Icon::None << int(QMessageBox::NoIcon) << false;
    }

    // An informational alert shows the information symbol unless it asks for the
    // application's icon or for none at all.
    void alertIcon()
    {
        QFETCH(AlertRequest::Icon, icon);
        QFETCH(int, symbol);
        QFETCH(bool, applicationIcon);
        QPixmap red(32, 32);
        red.fill(Qt::red);
        QApplication::setWindowIcon(QIcon(red));
        AlertRequest request{QStringLiteral("About"), QStringLiteral("Text"), {QStringLiteral("OK")}};
        request.icon = icon;

        WidgetAlertPresenter presenter;
        int shownSymbol = -1;
        QImage shownPixmap;
        QTimer answer;
        answerWhenShown<QMessageBox>(answer, this, [&](QMessageBox *box) {
            shownSymbol = box->icon();
            shownPixmap = box->iconPixmap().toImage();
            box->buttons().constFirst()->click();
        });
        presenter.runModal(request);
        QApplication::setWindowIcon(QIcon());
        QCOMPARE(shownSymbol, symbol);
        QCOMPARE(!shownPixmap.isNull(), symbol != int(QMessageBox::NoIcon) || applicationIcon);
        if (applicationIcon)
            QCOMPARE(shownPixmap.pixelColor(shownPixmap.width() / 2, shownPixmap.height() / 2), QColor(Qt::red));
    }

    // The file dialog itself opens in the folder and adds the suffix to a bare name.
    void fileDialogStartsInFolderAndAddsSuffix()
    {
        QTemporaryDir folder;
        WidgetAlertPresenter presenter;
        FilePanelRequest request;
        request.title = QStringLiteral("Export as PDF");
        request.nameFilters = {QStringLiteral("PDF (*.pdf)")};
        request.suggestedName = QStringLiteral("Untitled.pdf");
        request.defaultSuffix = QStringLiteral("pdf");
        request.directory = folder.path();
        QString shownFolder;
        QString shownSuffix;
        QTimer answer;
        answerWhenShown<QFileDialog>(answer, this, [&](QFileDialog *dialog) {
            shownFolder = dialog->directory().absolutePath();
            shownSuffix = dialog->defaultSuffix();
            dialog->selectFile(QStringLiteral("notes"));
            static_cast<QDialog *>(dialog)->accept(); // protected in QFileDialog
        });

        const std::optional<QString> chosen = presenter.chooseSaveFile(request);

        QCOMPARE(canonicalFolder(shownFolder), canonicalFolder(folder.path()));
        QCOMPARE(shownSuffix, QStringLiteral("pdf"));
        QVERIFY(chosen);
        QCOMPARE(QFileInfo(*chosen).fileName(), QStringLiteral("notes.pdf"));
        QCOMPARE(canonicalFolder(QFileInfo(*chosen).absolutePath()), canonicalFolder(folder.path()));
    }
};

SORVANE_TEST_MAIN(tst_AlertPresenter)
#include "tst_AlertPresenter.moc"
