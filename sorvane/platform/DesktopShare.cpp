#include "DesktopShare.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>

namespace {

class SystemLauncher : public DesktopShare::Launcher
{
public:
    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        return QProcess::startDetached(program, arguments);
    }

    bool openUrl(const QUrl &url) override { return QDesktopServices::openUrl(url); }

    bool showItemsInFileManager(const QStringList &fileUris) override
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return false;
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << fileUris << QString();
        // A file manager that is not running is started by the bus; give it a moment.
        const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
        return reply.type() == QDBusMessage::ReplyMessage;
    }
};

DesktopShare::Launcher *installed = nullptr;

} // namespace

DesktopShare::Launcher::~Launcher() = default;

DesktopShare::Launcher &DesktopShare::launcher()
{
    static SystemLauncher system;
    return installed ? *installed : system;
}

void DesktopShare::setLauncher(Launcher *launcher)
{
    installed = launcher;
}

bool DesktopShare::emailFile(const QString &path)
{
    return launcher().startDetached(QStringLiteral("xdg-email"), {QStringLiteral("--attach"), path});
}

QUrl DesktopShare::mailtoURL(const QString &subject, const QString &body)
{
    // Encoded by hand: QUrlQuery leaves "+" and "&" in values for the mail program to misread.
    const QByteArray encoded = "mailto:?subject=" + QUrl::toPercentEncoding(subject) +
                               "&body=" + QUrl::toPercentEncoding(body);
    return QUrl::fromEncoded(encoded, QUrl::StrictMode);
}

bool DesktopShare::emailText(const QString &subject, const QString &body)
{
    return launcher().openUrl(mailtoURL(subject, body));
}

bool DesktopShare::showInFileManager(const QString &path)
{
    if (launcher().showItemsInFileManager({QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)}))
        return true;
    return launcher().startDetached(QStringLiteral("xdg-open"), {QFileInfo(path).absolutePath()});
}

void DesktopShare::copyPath(const QString &path)
{
    QGuiApplication::clipboard()->setText(path);
}
