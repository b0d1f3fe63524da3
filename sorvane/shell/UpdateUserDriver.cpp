#include "UpdateUserDriver.h"

#include "UpdateAlert.h"
#include "platform/AlertPresenter.h"

#include <QApplication>
#include <QProgressDialog>

UpdateUserDriver::UpdateUserDriver() = default;

UpdateUserDriver::~UpdateUserDriver()
{
    delete m_alert.data();
    showDownloadEnded();
}

void UpdateUserDriver::offerUpdate(const AppcastItem &item, const QString &runningVersion,
                                   std::function<void(bool install)> reply)
{
    delete m_alert.data();
    m_alert = new UpdateAlert(item, runningVersion, QApplication::activeWindow());
    m_alert->setAttribute(Qt::WA_DeleteOnClose);
    // Modal without a nested event loop: the answer arrives through finished().
    m_alert->setWindowModality(Qt::ApplicationModal);
    QObject::connect(m_alert, &QDialog::finished, m_alert,
                     [reply = std::move(reply)](int result) { reply(result == QDialog::Accepted); });
    m_alert->show();
    m_alert->raise();
    m_alert->activateWindow();
}

void UpdateUserDriver::showDownloadStarted(const AppcastItem &item, std::function<void()> cancel)
{
    showDownloadEnded();
    m_progress = new QProgressDialog(QApplication::activeWindow());
    m_progress->setWindowTitle(QObject::tr("Software Update"));
    m_progress->setLabelText(QObject::tr("Downloading sorv.ane %1…").arg(item.shortVersion));
    m_progress->setCancelButtonText(QObject::tr("Cancel"));
    m_progress->setWindowModality(Qt::ApplicationModal);
    m_progress->setMinimumWidth(360);
    m_progress->setMinimumDuration(0);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    // Busy until the server tells the size.
    m_progress->setRange(0, 0);
    QObject::connect(m_progress, &QProgressDialog::canceled, m_progress, [cancel = std::move(cancel)] { cancel(); });
    m_progress->show();
}

void UpdateUserDriver::showDownloadProgress(qint64 received, qint64 total)
{
    if (!m_progress || total <= 0)
        return;
    // Per mille: the dialog counts in int, updates can be larger.
    m_progress->setRange(0, 1000);
    m_progress->setValue(int(qBound(qint64(0), received * 1000 / total, qint64(1000))));
}

void UpdateUserDriver::showDownloadEnded()
{
    if (!m_progress)
        return;
    // Closing it programmatically is no cancel.
    QObject::disconnect(m_progress, &QProgressDialog::canceled, nullptr, nullptr);
    delete m_progress.data();
}

void UpdateUserDriver::showUpdateSaved(const AppcastItem &item, const QString &path)
{
    AlertRequest request;
    request.messageText = QObject::tr("sorv.ane %1 is ready to install").arg(item.shortVersion);
    request.informativeText = QObject::tr("The update was downloaded and its signature checked. "
                                          "It installs after you quit sorv.ane: quit, then install "
                                          "the file shown in your file manager.");
    request.accessoryText = path;
    request.buttons = {QObject::tr("OK")};
    AlertPresenter::shared().runModal(request);
}

void UpdateUserDriver::showUpToDate(const QString &runningVersion)
{
    AlertRequest request;
    request.messageText = QObject::tr("You're up to date!");
    request.informativeText =
        QObject::tr("sorv.ane %1 is currently the newest version available.").arg(runningVersion);
    request.buttons = {QObject::tr("OK")};
    AlertPresenter::shared().runModal(request);
}

void UpdateUserDriver::showUpdateError(const QString &message)
{
    AlertPresenter::shared().runModal(AlertRequest::failure(QObject::tr("Update Error"), message));
}
