// The restore toast over a window's content, on a clock running fifty times faster:
// when it shows, that it stays its three (scaled) seconds, that it consumes the
// bridge's flag once, and that clicks go through it to the content below.
#include "account/FreshLaunchToast.h"
#include "account/TolvernAccountBridge.h"

#include "platform/Settings.h"
#include "shell/SorvaneApp.h"
#include "window/MainView.h"

#include "InMemoryStorage.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {

constexpr double kTimeScale = 0.02;
constexpr int kScaledShowMs = int(3000 * kTimeScale);

// When the flag goes up, seen from the window's appearance.
enum class Restore { never, beforeWindow, afterWindow };

TolvernConfig testConfig(QNetworkAccessManager *network)
{
    return TolvernConfig(QUrl("http://127.0.0.1:1"), QUrl("http://127.0.0.1:1"), "sorvane", "sorvane", "1.2.3",
                         "0.9.2", QUrl("sorvane://auth/callback"), AuthScheme::systemBrowser, std::nullopt,
                         {"tolvern.account"}, network, {}, QStringLiteral("install-toast"));
}

// A window whose whole content is one button, with the toast laid over it.
struct Window {
    QWidget window;
    QPushButton *button = nullptr;
    FreshLaunchToast *toast = nullptr;

    explicit Window(TolvernAccountBridge &bridge)
    {
        window.resize(640, 420);
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        button = new QPushButton(QStringLiteral("content"), &window);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        layout->addWidget(button);
        toast = new FreshLaunchToast(bridge, &window);
        toast->setTimeScale(kTimeScale);
    }
};

// The account side of start-up as the shell has it: only the bridge matters here.
class BridgeOnly : public AccountIntegrationSeam
{
public:
    explicit BridgeOnly(TolvernAccountBridge *bridge) : m_bridge(bridge) {}
    TolvernAccountBridge *bridge() const override { return m_bridge; }

private:
    TolvernAccountBridge *m_bridge;
};

} // namespace

Q_DECLARE_METATYPE(Restore)

class tst_FreshLaunchToast : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        TolvernAccountManager::Dependencies dependencies;
        dependencies.storage = std::make_shared<InMemoryStorage>();
        dependencies.dpopKeySource = DPoPSigner::KeySource::memoryOnly;
        m_bridge = std::make_unique<TolvernAccountBridge>(testConfig(&m_network), dependencies);
    }
    void cleanup() { m_bridge.reset(); }

    void showsOncePerRestore_data()
    {
        QTest::addColumn<Restore>("restore");
        QTest::addColumn<bool>("shows");
        QTest::newRow("launch without a session") << Restore::never << false;
        QTest::newRow("restored before the window appears") << Restore::beforeWindow << true;
        QTest::newRow("restored after the window appeared") << Restore::afterWindow << true;
    }
    void showsOncePerRestore()
    {
        QFETCH(Restore, restore);
        QFETCH(bool, shows);
        Window window(*m_bridge);
        // How long each visit lasted, from the signals themselves.
        QElapsedTimer clock;
        QList<qint64> visits;
        int changes = 0;
        connect(window.toast, &FreshLaunchToast::toastVisibleChanged, this, [&](bool visible) {
            ++changes;
            if (visible)
                clock.start();
            else
                visits.append(clock.elapsed());
        });

        // Showing a window shows its children at once, and the toast's timer cannot
        // run before the event loop does: each check below sees the state as set.
        if (restore == Restore::beforeWindow)
            m_bridge->setDidJustRestore(true);
        window.window.show();
        if (restore == Restore::afterWindow) {
            QVERIFY(QTest::qWaitForWindowExposed(&window.window));
            QVERIFY(!window.toast->isToastVisible());
            m_bridge->setDidJustRestore(true);
        }

        if (!shows) {
            QVERIFY(QTest::qWaitForWindowExposed(&window.window));
            QCoreApplication::processEvents();
            QVERIFY(!window.toast->isToastVisible());
            QCOMPARE(changes, 0);
            return;
        }
        QVERIFY(window.toast->isToastVisible());
        // Consumed at once: nothing else may show it for this restore.
        QVERIFY(!m_bridge->didJustRestore());
        QTRY_COMPARE(visits.size(), 1);
        QVERIFY2(visits.first() >= kScaledShowMs, "hid before its three seconds were up");
        QVERIFY(!window.toast->isToastVisible());

        // Hiding and showing the window again brings no second toast.
        window.window.hide();
        window.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window.window));
        QCoreApplication::processEvents();
        QVERIFY(!window.toast->isToastVisible());
        QCOMPARE(changes, 2);
    }

    void flagRaisedWhileShownIsLeftForLater()
    {
        Window window(*m_bridge);
        m_bridge->setDidJustRestore(true);
        window.window.show();
        QVERIFY(window.toast->isToastVisible());
        QSignalSpy changes(window.toast, &FreshLaunchToast::toastVisibleChanged);

        m_bridge->setDidJustRestore(true);
        QVERIFY(window.toast->isToastVisible());
        QVERIFY(m_bridge->didJustRestore());
        // The visit that was running ends on its own time; it neither restarts nor
        // takes the flag.
        QTRY_VERIFY(!window.toast->isToastVisible());
        QCOMPARE(changes.count(), 1);
        QVERIFY(m_bridge->didJustRestore());
    }

    void clicksReachTheContentUnderneath()
    {
        Window window(*m_bridge);
        m_bridge->setDidJustRestore(true);
        // Long enough to click while it shows, whatever the machine's load.
        window.toast->setTimeScale(20);
        window.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window.window));
        QVERIFY(window.toast->isToastVisible());
        QCOMPARE(window.toast->geometry(), window.window.rect());

        QSignalSpy clicks(window.button, &QPushButton::clicked);
        const QPoint onToast = window.toast->toastRect().center();
        QVERIFY(window.window.rect().contains(onToast));
        QTest::mouseClick(window.window.windowHandle(), Qt::LeftButton, {}, onToast);
        QTRY_COMPARE(clicks.count(), 1);
        QVERIFY(window.toast->isToastVisible());
    }

    void followsItsParentsSize()
    {
        Window window(*m_bridge);
        window.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window.window));
        window.window.resize(900, 700);
        QTRY_COMPARE(window.toast->geometry(), window.window.rect());
        // Bottom right, 14 points in from both edges.
        const QRect toast = window.toast->toastRect();
        QCOMPARE(window.window.width() - toast.right() - 1, 14);
        QCOMPARE(window.window.height() - toast.bottom() - 1, 14);
    }

    // The launched application lays the toast over its main window's content.
    void theMainWindowCarriesIt()
    {
        Settings &settings = Settings::shared();
        settings.setValue(QStringLiteral("hasOpenedWelcomeDoc"), true);
        settings.setValue(QStringLiteral("hasPromptedForDefaultHandler"), true);
        settings.setValue(QStringLiteral("restoreSession"), false);
        BridgeOnly account(m_bridge.get());
        LaunchSeams seams;
        seams.accountIntegration = &account;
        AppDelegate::LaunchEnvironment environment;
        environment.executablePath = QStringLiteral("/usr/local/bin/sorvane");
        SorvaneApp app(seams, environment);
        m_bridge->setDidJustRestore(true);
        app.launch();
        QWidget *content = app.mainWindow()->centralWidget();
        auto *toast = content->findChild<FreshLaunchToast *>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(toast);
        QVERIFY(toast->isToastVisible());
        QVERIFY(!m_bridge->didJustRestore());
        QCOMPARE(toast->geometry(), content->rect());
        QTRY_COMPARE(toast->presence(), 1.0);
        const QString folder = qEnvironmentVariable("SORVANE_SCREENSHOT_DIR");
        if (!folder.isEmpty()) {
            QDir().mkpath(folder);
            app.mainWindow()->grab().save(folder + QStringLiteral("/signinwin-toast.png"));
        }
    }

private:
    QNetworkAccessManager m_network;
    std::unique_ptr<TolvernAccountBridge> m_bridge;
};

SORVANE_TEST_MAIN(tst_FreshLaunchToast)
#include "tst_FreshLaunchToast.moc"
