#include "RecordingServices.h"
#include "TestEnvironment.h"

#include "documents/Constants.h"
#include "documents/DocumentManager.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "settings/EditorTab.h"
#include "settings/MCPWriteModeToggle.h"
#include "settings/SegmentedPicker.h"
#include "settings/DiagnosticsSection.h"
#include "settings/SettingsView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonValue>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTabWidget>
#include <QtTest>

namespace {
const QStringList boundKeys = {
    SettingsKeys::appearanceMode, SettingsKeys::previewTheme,    SettingsKeys::preferredViewMode,
    SettingsKeys::restoreSession, SettingsKeys::showOutline,     SettingsKeys::mcpWriteMode,
    SettingsKeys::analyticsOptOut, SettingsKeys::betaUpdatesEnabled, SettingsKeys::fontSize,
    SettingsKeys::wordWrap,       SettingsKeys::spellCheck,      SettingsKeys::syntaxHighlight,
    SettingsKeys::vimModeEnabled,
};

// What a control shows: checked state, chosen text or slider position.
QVariant shown(QWidget *view, const QString &kind, const QString &name)
{
    if (kind == QLatin1String("switch"))
        return view->findChild<QAbstractButton *>(name)->isChecked();
    if (kind == QLatin1String("choice"))
        return view->findChild<QComboBox *>(name)->currentText();
    if (kind == QLatin1String("segment"))
        return view->findChild<SegmentedPicker *>(name)->currentText();
    return view->findChild<QSlider *>(name)->value();
}

// Does what the user would do to make the control show `value`.
void operate(QWidget *view, const QString &kind, const QString &name, const QVariant &value)
{
    if (kind == QLatin1String("switch")) {
        auto *button = view->findChild<QAbstractButton *>(name);
        if (button->isChecked() != value.toBool())
            button->click();
    } else if (kind == QLatin1String("choice")) {
        auto *combo = view->findChild<QComboBox *>(name);
        combo->setCurrentIndex(combo->findText(value.toString()));
    } else if (kind == QLatin1String("segment")) {
        view->findChild<SegmentedPicker *>(name)->findChild<QPushButton *>(value.toString())->click();
    } else {
        auto *slider = view->findChild<QSlider *>(name);
        while (slider->value() < value.toInt())
            slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        while (slider->value() > value.toInt())
            slider->triggerAction(QAbstractSlider::SliderSingleStepSub);
    }
}
} // namespace

class tst_SettingsView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        for (const QString &key : boundKeys)
            Settings::shared().remove(key);
    }

    void bindings_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("shownFresh");
        QTest::addColumn<QVariant>("operated");
        QTest::addColumn<QJsonValue>("written");
        QTest::addColumn<QJsonValue>("outside");
        QTest::addColumn<QVariant>("shownAfterOutside");

        const auto row = [](const char *name, const char *kind, const QString &key, QVariant fresh, QVariant operated,
                            QJsonValue written, QJsonValue outside, QVariant after) {
            QTest::newRow(name) << QString::fromLatin1(kind) << key << fresh << operated << written << outside
                                << after;
        };
        row("theme", "segment", SettingsKeys::appearanceMode, QStringLiteral("Auto"), QStringLiteral("Dark"),
            QStringLiteral("Dark"), QStringLiteral("Light"), QStringLiteral("Light"));
        row("preview theme", "choice", SettingsKeys::previewTheme, QStringLiteral("Default"), QStringLiteral("Serif"),
            QStringLiteral("Serif"), QStringLiteral("GitHub"), QStringLiteral("GitHub"));
        row("default view", "choice", SettingsKeys::preferredViewMode, QStringLiteral("Split"),
            QStringLiteral("Editor"), QStringLiteral("Editor"), QStringLiteral("Preview"), QStringLiteral("Preview"));
        row("reopen documents", "switch", SettingsKeys::restoreSession, true, false, false, true, true);
        row("outline", "switch", SettingsKeys::showOutline, false, true, true, false, false);
        row("MCP write access", "switch", SettingsKeys::mcpWriteMode, false, true, true, false, false);
        // The switch says "share", the key says "opt out".
        row("usage analytics", "switch", SettingsKeys::analyticsOptOut, true, false, true, false, true);
        row("beta updates", "switch", SettingsKeys::betaUpdatesEnabled, false, true, true, false, false);
        row("font size", "slider", SettingsKeys::fontSize, 15, 16, 16, 20, 20);
        row("word wrap", "switch", SettingsKeys::wordWrap, true, false, false, true, true);
        row("spell checking", "switch", SettingsKeys::spellCheck, true, false, false, true, true);
        row("syntax highlighting", "switch", SettingsKeys::syntaxHighlight, true, false, false, true, true);
        row("Vim mode", "switch", SettingsKeys::vimModeEnabled, false, true, true, false, false);
    }

    // Each control writes its key at once, and follows the key written elsewhere.
    void bindings()
    {
        QFETCH(QString, kind);
        QFETCH(QString, key);
        QFETCH(QVariant, shownFresh);
        QFETCH(QVariant, operated);
        QFETCH(QJsonValue, written);
        QFETCH(QJsonValue, outside);
        QFETCH(QVariant, shownAfterOutside);

        RecordingServices services;
        services.setUpdater(true, true);
        DocumentManager documents;
        SettingsView view(services, documents);

        QCOMPARE(shown(&view, kind, key), shownFresh);
        operate(&view, kind, key, operated);
        QCOMPARE(Settings::shared().storedValue(key), written);
        QCOMPARE(shown(&view, kind, key), operated);

        Settings::shared().setValue(key, outside);
        QCOMPARE(shown(&view, kind, key), shownAfterOutside);
        QCOMPARE(Settings::shared().storedValue(key), outside);
    }

    void unusableStoredValues_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<QVariant>("expectedShown");

        QTest::newRow("unknown appearance") << "segment" << SettingsKeys::appearanceMode
                                            << QJsonValue(QStringLiteral("Purple")) << QVariant(QStringLiteral("Auto"));
        QTest::newRow("appearance by number") << "segment" << SettingsKeys::appearanceMode << QJsonValue(2)
                                              << QVariant(QStringLiteral("Auto"));
        QTest::newRow("unknown preview theme") << "choice" << SettingsKeys::previewTheme
                                               << QJsonValue(QStringLiteral("Solarized"))
                                               << QVariant(QStringLiteral("Default"));
        QTest::newRow("lower-case view mode") << "choice" << SettingsKeys::preferredViewMode
                                              << QJsonValue(QStringLiteral("editor"))
                                              << QVariant(QStringLiteral("Split"));
        QTest::newRow("word wrap as a word") << "switch" << SettingsKeys::wordWrap
                                             << QJsonValue(QStringLiteral("sometimes")) << QVariant(true);
        QTest::newRow("Vim mode as a list") << "switch" << SettingsKeys::vimModeEnabled
                                            << QJsonValue(QJsonArray{true}) << QVariant(false);
        QTest::newRow("opt-out as a word") << "switch" << SettingsKeys::analyticsOptOut
                                           << QJsonValue(QStringLiteral("maybe")) << QVariant(true);
        QTest::newRow("font size as text") << "slider" << SettingsKeys::fontSize << QJsonValue(QStringLiteral("big"))
                                           << QVariant(15);
    }

    // A value of the wrong type shows the default, and building the window writes nothing.
    void unusableStoredValues()
    {
        QFETCH(QString, kind);
        QFETCH(QString, key);
        QFETCH(QJsonValue, stored);
        QFETCH(QVariant, expectedShown);

        Settings::shared().setValue(key, stored);
        QFile file(Settings::standardFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        RecordingServices services;
        DocumentManager documents;
        SettingsView view(services, documents);
        QCOMPARE(shown(&view, kind, key), expectedShown);
        QCOMPARE(Settings::shared().storedValue(key), stored);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }

    void fontSizeLabel_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("slider");

        QTest::newRow("fraction") << QJsonValue(15.7) << "15px" << 15;
        QTest::newRow("just under a whole") << QJsonValue(11.99) << "11px" << 11;
        QTest::newRow("top of the range") << QJsonValue(24) << "24px" << 24;
        // The menu may go beyond the slider; the label still tells the truth.
        QTest::newRow("beyond the slider") << QJsonValue(30) << "30px" << 24;
        QTest::newRow("absurd size") << QJsonValue(1e300) << "15px" << 15;
        QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << "15px" << 15;
    }

    void fontSizeLabel()
    {
        QFETCH(QJsonValue, stored);
        QFETCH(QString, label);
        QFETCH(int, slider);

        RecordingServices services;
        DocumentManager documents;
        SettingsView view(services, documents);
        // Set after the window exists: the menu's font commands write while it is open.
        Settings::shared().setValue(SettingsKeys::fontSize, stored);
        QCOMPARE(view.findChild<QLabel *>(QStringLiteral("fontSizeLabel"))->text(), label);
        QCOMPARE(view.findChild<QSlider *>(SettingsKeys::fontSize)->value(), slider);
        QCOMPARE(Settings::shared().storedValue(SettingsKeys::fontSize), stored);
    }

    void sliderStepsAndWholeNumbers()
    {
        Settings::shared().setValue(SettingsKeys::fontSize, 15.7);
        RecordingServices services;
        DocumentManager documents;
        SettingsView view(services, documents);
        auto *slider = view.findChild<QSlider *>(SettingsKeys::fontSize);
        QCOMPARE(slider->minimum(), 11);
        QCOMPARE(slider->maximum(), 24);
        slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(Settings::shared().storedValue(SettingsKeys::fontSize), QJsonValue(16));
        slider->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(Settings::shared().storedValue(SettingsKeys::fontSize), QJsonValue(11));
        QCOMPARE(view.findChild<QLabel *>(QStringLiteral("fontSizeLabel"))->text(), QStringLiteral("11px"));
    }

    void windowFrame()
    {
        Settings::shared().setValue(SettingsKeys::appearanceMode, QStringLiteral("Light"));
        RecordingServices services;
        DocumentManager documents;
        SettingsView view(services, documents);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.size(), QSize(560, 420));
        QCOMPARE(view.minimumSize(), view.maximumSize());
        QVERIFY(view.isWindow());
        QVERIFY(!view.isModal());
        QVERIFY(view.palette().color(QPalette::Window).lightnessF() < 0.5);
        // Deep inside a tab, too: the light palette of the application does not leak in.
        auto *label = view.findChild<QLabel *>(QStringLiteral("fontSizeLabel"));
        QVERIFY(label->palette().color(QPalette::Window).lightnessF() < 0.5);
        QVERIFY(label->palette().color(QPalette::WindowText).lightnessF() > 0.5);
        // Switching the main window's scheme leaves this one dark.
        view.findChild<SegmentedPicker *>(SettingsKeys::appearanceMode)
            ->findChild<QPushButton *>(QStringLiteral("Light"))
            ->click();
        QVERIFY(view.palette().color(QPalette::Window).lightnessF() < 0.5);
    }

    void tabs()
    {
        RecordingServices services;
        DocumentManager documents;
        SettingsView view(services, documents);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTabWidget *tabs = view.tabs();
        QStringList labels;
        for (int i = 0; i < tabs->count(); ++i) {
            labels << tabs->tabText(i);
            QVERIFY2(!tabs->tabIcon(i).isNull(), qPrintable(tabs->tabText(i)));
        }
        QCOMPARE(labels, (QStringList{"General", "Editor", "Themes", "Snippets", "Account", "About"}));
        QCOMPARE(tabs->currentIndex(), int(SettingsView::General));
        QVERIFY(tabs->isTabVisible(SettingsView::Snippets));
        QVERIFY(!tabs->isTabVisible(SettingsView::Account));
        // The General tab is taller than the window: it scrolls rather than squeezes.
        auto *general = qobject_cast<QScrollArea *>(tabs->widget(SettingsView::General));
        QVERIFY(general);
        QTRY_VERIFY(general->verticalScrollBar()->maximum() > 0);
    }

    // Ctrl+Tab and Ctrl+Shift+Tab step over the hidden slots both ways.
    void keyboardSkipsHiddenTabs()
    {
        RecordingServices services;
        DocumentManager documents;
        SettingsView view(services, documents);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTabWidget *tabs = view.tabs();
        const auto press = [&](Qt::KeyboardModifiers modifiers) {
            QTest::keyClick(tabs->currentWidget(), Qt::Key_Tab, modifiers);
            return tabs->currentIndex();
        };
        const Qt::KeyboardModifiers back = Qt::ControlModifier | Qt::ShiftModifier;
        QList<int> walk;
        for (int i = 0; i < 5; ++i)
            walk << press(Qt::ControlModifier);
        for (int i = 0; i < 5; ++i)
            walk << press(back);
        using V = SettingsView;
        QCOMPARE(walk, (QList<int>{V::Editor, V::Themes, V::Snippets, V::About, V::General, V::About, V::Snippets,
                                   V::Themes, V::Editor, V::General}));
    }

    void settingsViewedOnEachShow()
    {
        RecordingServices services;
        DocumentManager documents;
        SettingsView view(services, documents);
        QCOMPARE(services.eventCount(QStringLiteral("settings_viewed")), 0);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.close();
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(services.eventCount(QStringLiteral("settings_viewed")), 2);
        for (const auto &event : services.events)
            QVERIFY(event.second.isEmpty());
    }

    void closesWhenSignedOut_data()
    {
        QTest::addColumn<QString>("accountAtOpen");
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<bool>("staysOpen");

        QTest::newRow("signed in, then out") << "ta_1" << QStringList{QString()} << false;
        QTest::newRow("signed out throughout") << "" << QStringList{QString(), QString()} << true;
        QTest::newRow("another account") << "ta_1" << QStringList{"ta_2"} << true;
        QTest::newRow("signed in while open") << "" << QStringList{"ta_1"} << true;
        QTest::newRow("signed in, then out while open") << "" << QStringList{"ta_1", QString()} << false;
    }

    void closesWhenSignedOut()
    {
        QFETCH(QString, accountAtOpen);
        QFETCH(QStringList, changes);
        QFETCH(bool, staysOpen);

        RecordingServices services;
        services.account = accountAtOpen;
        DocumentManager documents;
        SettingsView view(services, documents);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        for (const QString &id : changes)
            services.setAccount(id);
        QCOMPARE(view.isVisible(), staysOpen);
    }

    void analyticsSwitch_data()
    {
        QTest::addColumn<bool>("optedOutAtLaunch");
        QTest::addColumn<QList<bool>>("flips");
        QTest::addColumn<int>("setups");
        QTest::addColumn<int>("resets");

        QTest::newRow("on at launch, off then on") << false << QList<bool>{false, true} << 0 << 1;
        QTest::newRow("off at launch, on") << true << QList<bool>{true} << 1 << 0;
        QTest::newRow("off at launch, on, off, on") << true << QList<bool>{true, false, true} << 1 << 1;
        QTest::newRow("on at launch, off") << false << QList<bool>{false} << 0 << 1;
    }

    void analyticsSwitch()
    {
        QFETCH(bool, optedOutAtLaunch);
        QFETCH(QList<bool>, flips);
        QFETCH(int, setups);
        QFETCH(int, resets);

        Settings::shared().setValue(SettingsKeys::analyticsOptOut, optedOutAtLaunch);
        RecordingServices services;
        // Launch set analytics up unless the user had opted out.
        services.setUpThisLaunch = !optedOutAtLaunch;
        DocumentManager documents;
        SettingsView view(services, documents);
        auto *toggle = view.findChild<QAbstractButton *>(SettingsKeys::analyticsOptOut);
        for (bool on : flips) {
            QVERIFY(toggle->isChecked() != on);
            toggle->click();
            QCOMPARE(Settings::shared().storedValue(SettingsKeys::analyticsOptOut), QJsonValue(!on));
        }
        QCOMPARE(services.setupCalls, setups);
        QCOMPARE(services.resetCalls, resets);
    }

    void betaSwitch_data()
    {
        QTest::addColumn<bool>("configured");
        QTest::addColumn<bool>("canCheck");
        QTest::addColumn<bool>("on");
        QTest::addColumn<int>("checks");

        QTest::newRow("on, configured") << true << true << true << 1;
        QTest::newRow("on, not configured") << false << false << true << 0;
        QTest::newRow("on, check already running") << true << false << true << 0;
        QTest::newRow("off, configured") << true << true << false << 0;
        QTest::newRow("off, not configured") << false << false << false << 0;
    }

    void betaSwitch()
    {
        QFETCH(bool, configured);
        QFETCH(bool, canCheck);
        QFETCH(bool, on);
        QFETCH(int, checks);

        Settings::shared().setValue(SettingsKeys::betaUpdatesEnabled, !on);
        RecordingServices services;
        services.setUpdater(configured, canCheck);
        DocumentManager documents;
        SettingsView view(services, documents);
        auto *toggle = view.findChild<QAbstractButton *>(SettingsKeys::betaUpdatesEnabled);
        QCOMPARE(toggle->isEnabled(), canCheck);
        toggle->setChecked(on);

        QCOMPARE(Settings::shared().storedValue(SettingsKeys::betaUpdatesEnabled), QJsonValue(on));
        QCOMPARE(services.eventCount(QStringLiteral("beta_updates_setting_changed")), 1);
        for (const auto &event : services.events) {
            if (event.first == QLatin1String("beta_updates_setting_changed"))
                QCOMPARE(event.second, (QVariantMap{{QStringLiteral("enabled"), on}}));
        }
        QCOMPARE(services.checkCalls, checks);
    }

    void updaterState_data()
    {
        QTest::addColumn<bool>("configured");
        QTest::addColumn<bool>("canCheck");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("disabledNoteShown");

        QTest::newRow("not configured") << false << false << QString() << true;
        QTest::newRow("ready") << true << true << QString() << false;
        QTest::newRow("checking") << true << false << QString() << false;
        QTest::newRow("after a failed check") << true << true << QStringLiteral("Update check failed: offline")
                                              << false;
    }

    void updaterState()
    {
        QFETCH(bool, configured);
        QFETCH(bool, canCheck);
        QFETCH(QString, status);
        QFETCH(bool, disabledNoteShown);

        RecordingServices services;
        DocumentManager documents;
        SettingsView view(services, documents);
        // Changes while the window is open reach it.
        services.setUpdater(configured, canCheck, status);

        auto *button = view.findChild<QPushButton *>(QStringLiteral("checkForUpdates"));
        QCOMPARE(button->text(), QStringLiteral("Check for Updates…"));
        QCOMPARE(button->isEnabled(), canCheck);
        QCOMPARE(view.findChild<QAbstractButton *>(SettingsKeys::betaUpdatesEnabled)->isEnabled(), canCheck);
        auto *note = view.findChild<QLabel *>(QStringLiteral("updatesDisabled"));
        QCOMPARE(note->text(), QStringLiteral("Automatic updates are disabled in this build."));
        QCOMPARE(!note->isHidden(), disabledNoteShown);
        auto *statusLabel = view.findChild<QLabel *>(QStringLiteral("updateStatus"));
        QCOMPARE(!statusLabel->isHidden(), !status.isEmpty());
        QCOMPARE(statusLabel->text(), status);

        button->click();
        QCOMPARE(services.checkCalls, canCheck ? 1 : 0);
    }

    void aboutTab()
    {
        RecordingServices services;
        DocumentManager documents;
        SettingsView view(services, documents);
        QCOMPARE(view.findChild<QLabel *>(QStringLiteral("version"))->text(), Constants::version());

        QWidget *about = view.tabs()->widget(SettingsView::About);
        QStringList links;
        for (QLabel *label : about->findChildren<QLabel *>()) {
            // The diagnostics section has a link of its own; these are the tab's.
            bool inSection = false;
            for (QWidget *up = label->parentWidget(); up && !inSection; up = up->parentWidget())
                inSection = qobject_cast<DiagnosticsSection *>(up);
            if (inSection)
                continue;
            const QRegularExpressionMatch link =
                QRegularExpression(QStringLiteral("<a href=\"([^\"]*)\"[^>]*>(.*)</a>")).match(label->text());
            if (link.hasMatch())
                links << link.captured(2) + QLatin1Char(' ') + link.captured(1).replace(QStringLiteral("&amp;"), "&");
        }
        QCOMPARE(links, (QStringList{
                            "Contact Support https://tolvern.dev/contact?app=sorvane&platform=linux",
                            "Report an Issue https://tolvern.dev/contact?app=sorvane&platform=linux&topic=bug",
                            "Privacy Policy https://tolvern.dev/privacy/sorvane",
                            "Terms of Use https://tolvern.dev/terms/sorvane",
                            "sorv.ane on the web https://tolvern.dev/sorvane",
                        }));
    }

    // Pictures of each visible tab for a person to look at.
    void screenshots()
    {
        RecordingServices services;
        services.setUpdater(false, false);
        DocumentManager documents;
        SettingsView view(services, documents);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTabWidget *tabs = view.tabs();
        for (int i = 0; i < tabs->count(); ++i) {
            if (!tabs->isTabVisible(i))
                continue;
            tabs->setCurrentIndex(i);
            QTRY_VERIFY(tabs->widget(i)->isVisible());
            const QString path = QStringLiteral("/tmp/sorvane-settings-%1.png").arg(tabs->tabText(i).toLower());
            QVERIFY(view.grab().save(path));
        }
    }
};

SORVANE_TEST_MAIN(tst_SettingsView)
#include "tst_SettingsView.moc"
