#include "TestEnvironment.h"

#include "platform/DesktopShare.h"
#include "platform/Settings.h"
#include "preview/ThemeService.h"
#include "settings/ThemesTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Types text as the keyboard does, one key event per character, beyond Latin-1 too.
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }
}

// Sees what would be handed to the file manager, without starting one.
class RecordingLauncher : public DesktopShare::Launcher
{
public:
    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        started.append(program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')));
        return true;
    }
    bool openUrl(const QUrl &url) override
    {
        opened.append(url);
        return true;
    }
    bool showItemsInFileManager(const QStringList &fileUris) override
    {
        // What the file was holding when it was shown.
        for (const QString &uri : fileUris)
            contentsWhenShown.append(fileBytes(QUrl(uri).toLocalFile()));
        shown.append(fileUris);
        return true;
    }
    QStringList started;
    QList<QUrl> opened;
    QStringList shown;
    QList<QByteArray> contentsWhenShown;
};

} // namespace

class tst_ThemesTab : public QObject
{
    Q_OBJECT

    ThemeService &themes() { return ThemeService::shared(); }

private Q_SLOTS:
    void init()
    {
        themes().flushPendingSave();
        QFile::remove(ThemeService::customCSSPath());
    }

    void pickerShowsTheStoredTheme_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("row");
        QTest::newRow("none") << QString() << 0;
        QTest::newRow("Serif Pro") << QStringLiteral("Serif Pro") << 1;
        QTest::newRow("Minimal") << QStringLiteral("Minimal") << 3;
        QTest::newRow("unknown") << QStringLiteral("Neon") << -1;
        QTest::newRow("wrong case") << QStringLiteral("mono") << -1;
    }

    void pickerShowsTheStoredTheme()
    {
        QFETCH(QString, stored);
        QFETCH(int, row);
        themes().setSelectedProThemeRaw(stored);
        ThemesTab tab;
        QComboBox *picker = tab.themePicker();
        const QStringList expectedRows{QStringLiteral("None (use default from General)"), QStringLiteral("Serif Pro"),
                                       QStringLiteral("Mono"), QStringLiteral("Minimal")};
        QStringList rows;
        for (int i = 0; i < picker->count(); ++i)
            rows.append(picker->itemText(i));
        QCOMPARE(rows, expectedRows);
        QCOMPARE(picker->currentIndex(), row);
        // Showing the tab writes nothing.
        QCOMPARE(Settings::shared().storedValue(QStringLiteral("sorvane.proTheme")), QJsonValue(stored));

        // Choosing a row stores its value; a change from elsewhere moves the picker.
        picker->setCurrentIndex(2);
        Q_EMIT picker->activated(2);
        QCOMPARE(themes().selectedProThemeRaw(), QStringLiteral("Mono"));
        QCOMPARE(Settings::shared().storedValue(QStringLiteral("sorvane.proTheme")), QJsonValue(QStringLiteral("Mono")));
        themes().setSelectedProThemeRaw(QString());
        QCOMPARE(picker->currentIndex(), 0);
        QCOMPARE(Settings::shared().storedValue(QStringLiteral("sorvane.proTheme")), QJsonValue(QString()));
    }

    void switchKeepsTheText()
    {
        themes().setUseCustomCSS(false);
        ThemesTab tab;
        tab.show();
        QPlainTextEdit *editor = tab.cssEditor();
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("h2 { color: olive; }"));
        QCOMPARE(themes().customCSS(), QStringLiteral("h2 { color: olive; }"));
        QVERIFY(editor->isEnabled());

        tab.customCSSSwitch()->click();
        QVERIFY(themes().useCustomCSS());
        QCOMPARE(Settings::shared().storedValue(QStringLiteral("sorvane.useCustomCSS")), QJsonValue(true));
        QVERIFY(themes().extraCSS().endsWith(QStringLiteral("\n/* user custom.css */\nh2 { color: olive; }")));
        tab.customCSSSwitch()->click();
        QCOMPARE(themes().extraCSS(), QString());
        QCOMPARE(editor->toPlainText(), QStringLiteral("h2 { color: olive; }"));
        tab.customCSSSwitch()->click();
        QVERIFY(themes().extraCSS().endsWith(QStringLiteral("\n/* user custom.css */\nh2 { color: olive; }")));
    }

    void emptyingTheEditorWritesAnEmptyFile()
    {
        themes().setUseCustomCSS(true);
        ThemesTab tab;
        tab.show();
        tab.cssEditor()->selectAll();
        QTest::keyClick(tab.cssEditor(), Qt::Key_Delete);
        QCOMPARE(themes().customCSS(), QString());
        // Leaving the tab (the window closing) saves what was typed.
        tab.hide();
        QCOMPARE(fileBytes(ThemeService::customCSSPath()), QByteArray());
        QVERIFY(themes().extraCSS().endsWith(QStringLiteral("\n/* user custom.css */\n")));
    }

    void typedTextSurvivesAnImmediateQuit()
    {
        ThemesTab tab;
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        QPlainTextEdit *editor = tab.cssEditor();
        editor->setFocus();
        editor->selectAll();
        QString typed;
        const QString alphabet = QStringLiteral("a{é:ñ;ø→ß}Ж ");
        while (typed.size() < 200)
            typed += alphabet.at(typed.size() % alphabet.size());
        typeText(editor, typed);
        QCOMPARE(themes().customCSS(), typed);
        // What the application runs at quit, right after the last keystroke.
        themes().flushPendingSave();
        QCOMPARE(QString::fromUtf8(fileBytes(ThemeService::customCSSPath())), typed);
    }

    void showingTheFileWritesItFirst_data()
    {
        QTest::addColumn<bool>("edited");
        QTest::newRow("before any edit") << false;
        QTest::newRow("after an edit") << true;
    }

    void showingTheFileWritesItFirst()
    {
        QFETCH(bool, edited);
        // A first run: the service's text is the template and no file exists.
        themes().setCustomCSS(ThemeService::startingTemplate());
        themes().flushPendingSave();
        QFile::remove(ThemeService::customCSSPath());
        RecordingLauncher launcher;
        DesktopShare::setLauncher(&launcher);
        ThemesTab tab;
        tab.show();
        QByteArray expected = ThemeService::startingTemplate().toUtf8();
        if (edited) {
            tab.cssEditor()->moveCursor(QTextCursor::End);
            QTest::keyClick(tab.cssEditor(), Qt::Key_Return);
            QTest::keyClicks(tab.cssEditor(), QStringLiteral("em { color: red; }"));
            expected += "\nem { color: red; }";
        }
        QTest::mouseClick(tab.showFileButton(), Qt::LeftButton);
        DesktopShare::setLauncher(nullptr);
        const QString uri = QUrl::fromLocalFile(ThemeService::customCSSPath()).toString(QUrl::FullyEncoded);
        QCOMPARE(launcher.shown, QStringList{uri});
        QCOMPARE(launcher.contentsWhenShown, QList<QByteArray>{expected});
        QVERIFY(launcher.started.isEmpty());
    }

    void pathIsElidedInTheMiddle()
    {
        ThemesTab tab;
        tab.resize(380, 420);
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        QLabel *path = tab.pathLabel();
        const QString full = ThemeService::customCSSPath();
        QVERIFY(!full.isEmpty());
        QVERIFY2(path->fontMetrics().horizontalAdvance(full) > path->width(), "the window is wide enough for the path");
        QVERIFY(path->text().endsWith(QStringLiteral("custom.css")));
        QVERIFY(path->text().startsWith(full.left(3)));
        QVERIFY(path->text().contains(QChar(0x2026)));
        QVERIFY(path->fontMetrics().horizontalAdvance(path->text()) <= path->width());
    }
};

SORVANE_TEST_MAIN(tst_ThemesTab)
#include "tst_ThemesTab.moc"
