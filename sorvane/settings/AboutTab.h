#pragma once

#include <QWidget>

class DocumentManager;
class QLabel;
class QPushButton;
class SettingsServices;

// The settings window's "About" tab: version, update checks, help and diagnostics,
// and the maker's pages.
class AboutTab : public QWidget
{
    Q_OBJECT
public:
    AboutTab(SettingsServices &services, DocumentManager &documents, QWidget *parent = nullptr);

private:
    void showUpdaterState();

    SettingsServices &m_services;
    QPushButton *m_checkForUpdates;
    QLabel *m_updateStatus;
    QLabel *m_updatesDisabled;
};
