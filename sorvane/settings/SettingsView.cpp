#include "SettingsView.h"

#include "AboutTab.h"
#include "EditorTab.h"
#include "GeneralTab.h"
#include "SettingsForm.h"
#include "SettingsServices.h"
#include "SnippetsTab.h"
#include "ThemesTab.h"

#include "editor/snippets/SnippetService.h"
#include "window/WindowStyle.h"

#include <QIcon>
#include <QScrollArea>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
QIcon tabIcon(const char *themeName, const char *bundled)
{
    return QIcon::fromTheme(QString::fromLatin1(themeName),
                            QIcon(QStringLiteral(":/settings-icons/%1.svg").arg(QLatin1String(bundled))));
}
} // namespace

SettingsView::SettingsView(SettingsServices &services, DocumentManager &documents, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_services(services)
    , m_tabs(new QTabWidget(this))
    , m_signedIn(!services.accountID().isEmpty())
{
    setWindowTitle(QStringLiteral("Settings"));
    setFixedSize(width, height);
    // Dark always: the appearance setting is for the main window only.
    setPalette(WindowStyle::paletteForColorScheme(QStringLiteral("dark")));
    setAutoFillBackground(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(m_tabs);
    m_tabs->setDocumentMode(true);

    m_tabs->addTab(SettingsForm::scrolling(new GeneralTab(services, this)), tabIcon("preferences-system", "general"),
                   QStringLiteral("General"));
    m_tabs->addTab(SettingsForm::scrolling(new EditorTab(this)), tabIcon("accessories-text-editor", "editor"),
                   QStringLiteral("Editor"));
    m_tabs->addTab(SettingsForm::scrolling(new ThemesTab(this)), tabIcon("preferences-desktop-theme", "themes"),
                   QStringLiteral("Themes"));
    m_tabs->addTab(new SnippetsTab(SnippetService::shared(), this), tabIcon("insert-text", "snippets"),
                   QStringLiteral("Snippets"));
    // The account's slot: hidden unless the services can build its content.
    QWidget *account = services.createAccountTab(this);
    m_tabs->addTab(account ? SettingsForm::scrolling(account) : new QWidget, tabIcon("user-identity", "account"),
                   QStringLiteral("Account"));
    m_tabs->addTab(SettingsForm::scrolling(new AboutTab(services, documents, this)), tabIcon("help-about", "about"),
                   QStringLiteral("About"));
    m_tabs->setTabVisible(Account, account != nullptr);
    // Ctrl+Tab walks into hidden slots too: step over them the way it was going.
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        const int count = m_tabs->count();
        if (index < 0 || m_tabs->isTabVisible(index)) {
            m_lastTab = index;
            return;
        }
        const int step = index == (m_lastTab + 1) % count ? 1 : -1;
        int next = index;
        do
            next = (next + step + count) % count;
        while (!m_tabs->isTabVisible(next) && next != index);
        m_tabs->setCurrentIndex(next);
    });

    connect(&services, &SettingsServices::accountIDChanged, this, &SettingsView::onAccountIDChanged);
}

void SettingsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        m_services.track(QStringLiteral("settings_viewed"));
}

void SettingsView::onAccountIDChanged(const QString &accountID)
{
    const bool signedIn = !accountID.isEmpty();
    const bool signedOut = m_signedIn && !signedIn;
    m_signedIn = signedIn;
    // Sign-out or a reset of local data: whatever the window showed is stale now.
    if (signedOut && isVisible())
        close();
}
