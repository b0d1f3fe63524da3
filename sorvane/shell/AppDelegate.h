#pragma once

#include "LaunchSeams.h"

#include <QList>
#include <QObject>
#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class DocumentManager;
class LoginFirstFlowModel;
class LoginFirstFlowView;
class QuitGate;
enum class LoginFirstStep;

// Owns the one DocumentManager and keeps the main window. Enters the app after launch
// (shows the window, opens the welcome document once, warns about a temporary
// install location once, offers once to become the default Markdown editor), routes
// opened files and "sorvane:" URLs, and decides whether the app may quit.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    // Where the app runs from and how long entering waits. Tests shorten the delays.
    struct LaunchEnvironment {
        QString executablePath; // the running binary, standardised
        QString appImagePath;   // $APPIMAGE: the image file when run from one
        int welcomeDelayMs = 500;
        int installWarningDelayMs = 800;
        int defaultHandlerDelayMs = 3000;
    };

    static inline const QString desktopId = QStringLiteral("sorvane.desktop");
    static inline const QString welcomeResource = QStringLiteral(":/Welcome.md");

    explicit AppDelegate(const LaunchSeams &seams = {},
                         const LaunchEnvironment &environment = currentEnvironment(),
                         QObject *parent = nullptr);
    ~AppDelegate() override;

    static LaunchEnvironment currentEnvironment();

    DocumentManager &documentManager() const { return *m_documentManager; }
    QuitGate &quitGate() const { return *m_quitGate; }
    QMainWindow *mainWindow() const { return m_mainWindow; }
    bool appEntered() const { return m_appEntered; }
    const LaunchSeams &seams() const { return m_seams; }

    // URLs handed to the app, each routed in order: an account callback to the account
    // side, a file on this machine to the document manager. The rest (a callback no
    // sign-in takes, another "sorvane:" URL, a file on another host) is only logged:
    // any web page can send these, so they raise no alert.
    void openURLs(const QList<QUrl> &urls);
    void openURL(const QUrl &url);
    // Command-line style arguments (absolute paths or URLs), in order: a path always
    // opens as a file, a URL is routed as above.
    void openArguments(const QStringList &arguments);
    static QUrl urlForArgument(const QString &argument);

    // After launch: crash capture, analytics, the folder search's document manager.
    void applicationDidFinishLaunching();
    // Shows the main window; on the first call also the welcome document, the
    // install-location warning and the default-editor offer.
    void enterApp();
    // The main window stays hidden until the app is entered. Repeated calls are fine.
    void registerMainWindow(QMainWindow *window);
    // Widens the main window so the workspace sidebar fits beside the document.
    void ensureWorkspaceWidth();
    // The new frame for a window `frame` whose content is `contentWidth` wide, within
    // the screen's `visible` area; a null rect when it is wide enough already.
    static QRect widenedFrame(const QRect &frame, int contentWidth, const QRect &visible);

    // The sign-in window over the main window at `initialStep`, both its texts
    // cleared, with the main window brought forward. The window's state is made once
    // and kept between presentations. Only logs while the account objects are missing.
    void presentLoginFirstFlow(LoginFirstStep initialStep);
    // The sign-in window once presented, else null.
    LoginFirstFlowView *loginFirstFlowView() const;

    // False for a run from an AppImage, from /tmp or from removable media.
    bool bundleIsInStableLocation() const;
    static bool isStableLocation(const QString &executablePath, const QString &appImagePath);

Q_SIGNALS:
    // The delayed launch steps, for whoever watches start-up.
    void welcomeDocumentOpened();
    void installLocationWarningShown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void bringMainWindowForward();
    void openWelcomeDoc(bool force);
    void maybeWarnAboutInstallLocation();
    void promptToSetDefaultHandlerIfNeeded();
    void showDefaultHandlerPrompt();
    void setAsDefaultHandler();
    QString revealTarget() const;

    std::unique_ptr<DocumentManager> m_documentManager;
    std::unique_ptr<QuitGate> m_quitGate;
    std::unique_ptr<LoginFirstFlowModel> m_loginFirstModel;
    QPointer<LoginFirstFlowView> m_loginFirstView;
    QPointer<QMainWindow> m_mainWindow;
    LaunchSeams m_seams;
    LaunchEnvironment m_environment;
    bool m_appEntered = false;
    bool m_didInstallFullScreenObserver = false;
    bool m_warnedThisLaunch = false;
};
