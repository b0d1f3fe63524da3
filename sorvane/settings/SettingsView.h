#pragma once

#include <QWidget>

class DocumentManager;
class QTabWidget;
class SettingsServices;

// The settings window: one non-modal window of a fixed 560 × 420 with its own dark
// palette, whatever the appearance setting says. Tabs General, Editor, Themes,
// Snippets, Account and About; Account is shown only when the services build it.
// Closes itself when the signed-in account goes away while it is open.
class SettingsView : public QWidget
{
    Q_OBJECT
public:
    enum Tab { General, Editor, Themes, Snippets, Account, About };

    static constexpr int width = 560;
    static constexpr int height = 420;

    SettingsView(SettingsServices &services, DocumentManager &documents, QWidget *parent = nullptr);

    QTabWidget *tabs() const { return m_tabs; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void onAccountIDChanged(const QString &accountID);

    SettingsServices &m_services;
    QTabWidget *m_tabs;
    bool m_signedIn;
    int m_lastTab = 0;
};
