#pragma once

#include "platform/AppcastUpdater.h"

#include "UpdateAlert.h"

#include <QPointer>
#include <QProgressDialog>

// The updater's windows in the application: the update alert, a download progress
// window with Cancel, and the up-to-date, saved and error messages, which go through
// the shared AlertPresenter.
class UpdateUserDriver : public AppcastUpdater::UserDriver
{
public:
    UpdateUserDriver();
    ~UpdateUserDriver() override;

    void offerUpdate(const AppcastItem &item, const QString &runningVersion,
                     std::function<void(bool install)> reply) override;
    void showDownloadStarted(const AppcastItem &item, std::function<void()> cancel) override;
    void showDownloadProgress(qint64 received, qint64 total) override;
    void showDownloadEnded() override;
    void showUpdateSaved(const AppcastItem &item, const QString &path) override;
    void showUpToDate(const QString &runningVersion) override;
    void showUpdateError(const QString &message) override;

    // The windows while they are open; tests drive them.
    UpdateAlert *alert() const { return m_alert; }
    QProgressDialog *progress() const { return m_progress; }

private:
    QPointer<UpdateAlert> m_alert;
    QPointer<QProgressDialog> m_progress;
};
