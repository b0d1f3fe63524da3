#include "MainView.h"

#include "DocumentContentView.h"
#include "DocumentToolbar.h"
#include "EmptyStateView.h"
#include "TabBar.h"
#include "WindowStyle.h"
#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"
#include "export/DocumentExportCommands.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QHBoxLayout>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString emptyTitle = QStringLiteral("sorv.ane");


} // namespace

DocumentContentView *MainView::documentPane() const
{
    return m_pane;
}

MainView::MainView(DocumentManager &manager, QWidget *parent)
    : QWidget(parent)
    , m_manager(manager)
    , m_sidebarColumn(new QWidget(this))
    , m_tabBar(new TabBar(manager, this))
    , m_tabDivider(WindowStyle::divider(Qt::Horizontal, this))
    , m_stack(new QStackedLayout)
    , m_emptyState(new EmptyStateView(manager, this))
    , m_title(emptyTitle)
{
    auto *sidebarLayout = new QHBoxLayout(m_sidebarColumn);
    sidebarLayout->setContentsMargins(0, 0, 0, 0);
    sidebarLayout->setSpacing(0);
    m_sidebarColumn->hide();

    auto *column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_tabBar);
    column->addWidget(m_tabDivider);
    column->addLayout(m_stack, 1);
    m_stack->addWidget(m_emptyState);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(m_sidebarColumn);
    row->addLayout(column, 1);

    m_colorScheme = colorScheme();
    connect(&m_manager, &DocumentManager::selectedIdChanged, this, &MainView::showSelection);
    connect(&m_manager, &DocumentManager::documentsChanged, this, &MainView::showSelection);
    connect(&m_manager, &DocumentManager::documentsChanged, this, &MainView::updateChrome);
    connect(&Settings::shared(), &Settings::valueChanged, this, &MainView::onSettingChanged);

    updateChrome();
    showSelection();
    updateTitle();
}

MainView::~MainView() = default;

QString MainView::colorScheme() const
{
    const QString appearance = Settings::shared().appearanceMode();
    if (appearance == QLatin1String("Dark"))
        return QStringLiteral("dark");
    if (appearance == QLatin1String("Light"))
        return QStringLiteral("light");
    return QString();
}

QPalette MainView::paletteForColorScheme(const QString &scheme)
{
    return WindowStyle::paletteForColorScheme(scheme);
}

QSize MainView::minimumContentSize() const
{
    return {isWorkspaceSidebarShown() ? 760 : 500, 400};
}

void MainView::setWorkspaceSidebar(QWidget *sidebar)
{
    delete m_sidebar;
    qDeleteAll(m_sidebarColumn->findChildren<QWidget *>(Qt::FindDirectChildrenOnly));
    m_sidebar = sidebar;
    if (sidebar) {
        sidebar->setParent(m_sidebarColumn);
        sidebar->setFixedWidth(workspaceSidebarWidth);
        m_sidebarColumn->layout()->addWidget(sidebar);
        m_sidebarColumn->layout()->addWidget(WindowStyle::divider(Qt::Vertical, m_sidebarColumn));
    }
    if (m_pane)
        m_pane->toolbar()->setWorkspaceToggleShown(m_sidebar != nullptr);
    updateChrome();
}

void MainView::setExportCommands(DocumentExportCommands *commands)
{
    m_exports = commands;
    if (m_pane)
        m_pane->toolbar()->setExportCommands(commands);
}

bool MainView::isWorkspaceSidebarShown() const
{
    const Settings &settings = Settings::shared();
    return m_sidebar && settings.showWorkspace() && !settings.distractionFree();
}

void MainView::onSettingChanged(const QString &key)
{
    if (key == SettingsKeys::appearanceMode) {
        const QString scheme = colorScheme();
        if (scheme != m_colorScheme) {
            m_colorScheme = scheme;
            Q_EMIT colorSchemeChanged(scheme);
        }
    } else if (key == SettingsKeys::showWorkspace || key == SettingsKeys::distractionFree) {
        const bool wasShown = m_sidebarColumn->isVisibleTo(this);
        updateChrome();
        // Only switching the workspace on asks for room; switching it off keeps the size.
        if (key == SettingsKeys::showWorkspace && Settings::shared().showWorkspace() && !wasShown
            && isWorkspaceSidebarShown())
            Q_EMIT workspaceWidthNeeded();
    }
}

void MainView::updateChrome()
{
    const bool distractionFree = Settings::shared().distractionFree();
    const bool tabs = !m_manager.documents().isEmpty() && !distractionFree;
    m_tabBar->setVisible(tabs);
    m_tabDivider->setVisible(tabs);
    m_sidebarColumn->setVisible(isWorkspaceSidebarShown());
    const QSize minimum = minimumContentSize();
    if (minimum != m_minimumSize) {
        m_minimumSize = minimum;
        setMinimumSize(minimum);
    }
}

void MainView::showSelection()
{
    TabDocument *selected = m_manager.selectedDocument();
    const QUuid id = selected ? selected->id() : QUuid();
    if (id != m_paneDocumentId || (selected && !m_pane)) {
        // Another document: a fresh pane with fresh view state.
        if (DocumentContentView *old = m_pane) {
            m_stack->removeWidget(old);
            old->hide();
            old->disconnect(this);
            old->deleteLater();
            m_pane = nullptr;
        }
        m_paneDocumentId = id;
        if (selected) {
            m_pane = new DocumentContentView(m_manager, selected, this);
            m_pane->toolbar()->setExportCommands(m_exports);
            m_pane->toolbar()->setWorkspaceToggleShown(m_sidebar != nullptr);
            m_stack->addWidget(m_pane);
            m_stack->setCurrentWidget(m_pane);
            // Typing after New or a tab switch goes into the document without a click.
            m_pane->focusEditor();
        } else {
            m_stack->setCurrentWidget(m_emptyState);
        }
        Q_EMIT documentPaneChanged(m_pane);
    }
    watchSelectedDocument();
    scheduleTitleUpdate();
}

void MainView::watchSelectedDocument()
{
    TabDocument *selected = m_manager.selectedDocument();
    if (m_watched == selected)
        return;
    if (m_watched)
        disconnect(m_watched, nullptr, this, nullptr);
    m_watched = selected;
    if (selected) {
        connect(selected, &TabDocument::fileURLChanged, this, &MainView::scheduleTitleUpdate);
        connect(selected, &TabDocument::isModifiedChanged, this, &MainView::scheduleTitleUpdate);
    }
}

void MainView::scheduleTitleUpdate()
{
    // After the current change has settled, as one update per turn of the loop.
    if (m_titleUpdateQueued)
        return;
    m_titleUpdateQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_titleUpdateQueued = false;
        updateTitle();
    });
}

void MainView::updateTitle()
{
    const TabDocument *selected = m_manager.selectedDocument();
    QString title = emptyTitle;
    if (selected) {
        title = selected->title();
        if (selected->isModified())
            title += QStringLiteral(" \u2014 Edited");
    }
    if (title == m_title && windowTitle() == title)
        return;
    m_title = title;
    setWindowTitle(title);
    Q_EMIT windowTitleTextChanged(title);
}
