#include "AgentWorkspaceSidebar.h"

#include "AgentWorkspaceIcons.h"
#include "AgentWorkspaceModel.h"
#include "AgentWorkspaceRowDelegate.h"
#include "AgentWorkspaceService.h"
#include "AgentWorkspaceTreeView.h"
#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "window/GlyphButton.h"
#include "window/WindowStyle.h"

#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSet>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

using Symbol = AgentWorkspaceIcons::Symbol;

// One line of text cut in the middle when the column is too narrow for it.
class MiddleElidedLabel : public QLabel
{
public:
    using QLabel::QLabel;

    void setFullText(const QString &text)
    {
        m_full = text;
        setAccessibleName(text);
        elide();
    }
    QString fullText() const { return m_full; }
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        elide();
    }

private:
    void elide() { setText(fontMetrics().elidedText(m_full, Qt::ElideMiddle, width())); }

    QString m_full;
};

// The small spinning arc shown while a walk runs; it animates only while visible.
class BusySpinner : public QWidget
{
public:
    explicit BusySpinner(QWidget *parent)
        : QWidget(parent)
    {
        setFixedSize(14, 14);
        setAccessibleName(QStringLiteral("Scanning"));
        m_timer.setInterval(80);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_angle = (m_angle + 30) % 360;
            update();
        });
    }

protected:
    void showEvent(QShowEvent *) override { m_timer.start(); }
    void hideEvent(QHideEvent *) override { m_timer.stop(); }
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(2, 2, -2, -2);
        painter.setPen(QPen(WindowStyle::quaternary(palette()), 1.6));
        painter.drawEllipse(box);
        painter.setPen(QPen(WindowStyle::secondary(palette()), 1.6, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(box, -m_angle * 16, 100 * 16);
    }

private:
    QTimer m_timer;
    int m_angle = 0;
};

QLabel *iconLabel(QWidget *parent, int width)
{
    auto *label = new QLabel(parent);
    label->setFixedWidth(width);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

void tint(QWidget *widget, const QColor &color)
{
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, color);
    pal.setColor(QPalette::ButtonText, color);
    widget->setPalette(pal);
}

QString cleanedLocalPath(const QUrl &url)
{
    return url.isLocalFile() ? QDir::cleanPath(url.toLocalFile()) : QString();
}

} // namespace

AgentWorkspaceSidebar::AgentWorkspaceSidebar(AgentWorkspaceService &service, DocumentManager &manager, QWidget *parent)
    : QWidget(parent)
    , m_service(service)
    , m_manager(manager)
{
    setAccessibleName(QStringLiteral("AI Workspace"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildHeader());
    column->addWidget(WindowStyle::divider(Qt::Horizontal, this));

    m_pages = new QStackedWidget(this);
    m_pages->addWidget(buildEmptyPrompt());
    m_rootPage = new QWidget(m_pages);
    auto *rootColumn = new QVBoxLayout(m_rootPage);
    rootColumn->setContentsMargins(0, 0, 0, 0);
    rootColumn->setSpacing(0);
    rootColumn->addWidget(buildFolderBar());
    rootColumn->addWidget(WindowStyle::divider(Qt::Horizontal, m_rootPage));

    m_model = new AgentWorkspaceModel(service, this);
    m_delegate = new AgentWorkspaceRowDelegate(this);
    m_list = new AgentWorkspaceTreeView(m_rootPage);
    m_list->setItemDelegate(m_delegate);
    m_list->setModel(m_model);
    rootColumn->addWidget(m_list, 1);
    m_pages->addWidget(m_rootPage);
    column->addWidget(m_pages, 1);

    connect(m_list, &QAbstractItemView::clicked, this, &AgentWorkspaceSidebar::openRow);
    connect(m_list, &AgentWorkspaceTreeView::rowActivated, this, &AgentWorkspaceSidebar::activateRow);
    connect(m_list, &AgentWorkspaceTreeView::starClicked, this, &AgentWorkspaceSidebar::toggleStar);
    connect(m_list, &AgentWorkspaceTreeView::unpinClicked, this, &AgentWorkspaceSidebar::unpin);
    // A new walk of the same folder keeps the folders the user had open.
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, &AgentWorkspaceSidebar::rememberExpanded);
    connect(m_model, &QAbstractItemModel::modelReset, this, &AgentWorkspaceSidebar::restoreExpanded);

    connect(&service, &AgentWorkspaceService::rootPathChanged, this, &AgentWorkspaceSidebar::showRoot);
    connect(&service, &AgentWorkspaceService::isScanningChanged, this, &AgentWorkspaceSidebar::showScanning);
    connect(&manager, &DocumentManager::selectedIdChanged, this, &AgentWorkspaceSidebar::watchSelectedDocument);
    connect(&manager, &DocumentManager::documentsChanged, this, &AgentWorkspaceSidebar::watchSelectedDocument);

    showRoot();
    showScanning();
    watchSelectedDocument();
    applyColors();
}

QWidget *AgentWorkspaceSidebar::buildHeader()
{
    auto *header = new QWidget(this);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(6);
    m_headerIcon = iconLabel(header, 12);
    row->addWidget(m_headerIcon);
    m_headerTitle = new QLabel(QStringLiteral("AI WORKSPACE"), header);
    m_headerTitle->setFont(WindowStyle::font(10, QFont::DemiBold));
    row->addWidget(m_headerTitle);
    row->addStretch(1);
    m_hide = new GlyphButton(GlyphButton::Glyph::sidebar, header);
    m_hide->setFixedSize(20, 20);
    m_hide->setGlyphSize(13);
    m_hide->setToolTip(QStringLiteral("Hide workspace"));
    m_hide->setAccessibleName(QStringLiteral("Hide workspace"));
    connect(m_hide, &GlyphButton::clicked, this, [] { Settings::shared().setValue(SettingsKeys::showWorkspace, false); });
    row->addWidget(m_hide);
    return header;
}

QWidget *AgentWorkspaceSidebar::buildEmptyPrompt()
{
    m_emptyPrompt = new QWidget(this);
    auto *stack = new QVBoxLayout(m_emptyPrompt);
    stack->setContentsMargins(16, 0, 16, 0);
    stack->setSpacing(14);
    stack->addStretch(1);
    m_promptIcon = new QLabel(m_emptyPrompt);
    m_promptIcon->setAlignment(Qt::AlignCenter);
    stack->addWidget(m_promptIcon);
    m_promptTitle = new QLabel(QStringLiteral("Set your AI working directory"), m_emptyPrompt);
    m_promptTitle->setFont(WindowStyle::font(13, QFont::DemiBold));
    m_promptText = new QLabel(
        QStringLiteral("Point Sorvane at a project folder. It pins AGENTS.md and CLAUDE.md and lists every markdown "
                       "file for quick navigation."),
        m_emptyPrompt);
    m_promptText->setFont(WindowStyle::font(11));
    for (QLabel *label : {m_promptTitle, m_promptText}) {
        label->setAlignment(Qt::AlignHCenter);
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        stack->addWidget(label);
    }
    m_chooseFolder = new QPushButton(QStringLiteral("Choose Folder\u2026"), m_emptyPrompt);
    m_chooseFolder->setFont(WindowStyle::font(11));
    connect(m_chooseFolder, &QPushButton::clicked, this, [this] { m_service.chooseDirectory(); });
    stack->addWidget(m_chooseFolder, 0, Qt::AlignHCenter);
    stack->addStretch(1);
    return m_emptyPrompt;
}

QWidget *AgentWorkspaceSidebar::buildFolderBar()
{
    m_folderBar = new QWidget(this);
    auto *row = new QHBoxLayout(m_folderBar);
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(6);
    m_folderIcon = iconLabel(m_folderBar, 14);
    row->addWidget(m_folderIcon);
    auto *name = new MiddleElidedLabel(m_folderBar);
    name->setFont(WindowStyle::font(12, QFont::DemiBold));
    name->setTextFormat(Qt::PlainText);
    name->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_folderName = name;
    row->addWidget(m_folderName, 1);
    row->addSpacing(4);
    m_progress = new BusySpinner(m_folderBar);
    row->addWidget(m_progress);
    m_options = new QToolButton(m_folderBar);
    m_options->setAutoRaise(true);
    m_options->setPopupMode(QToolButton::InstantPopup);
    m_options->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // The menu arrow is left off: the ellipsis says enough.
    m_options->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    m_options->setIconSize(QSize(14, 14));
    m_options->setFixedSize(22, 22);
    m_options->setToolTip(QStringLiteral("Workspace options"));
    m_options->setAccessibleName(QStringLiteral("Workspace options"));
    m_menu = new QMenu(m_options);
    connect(m_menu->addAction(QStringLiteral("Change Folder\u2026")), &QAction::triggered, this,
            [this] { m_service.chooseDirectory(); });
    connect(m_menu->addAction(QStringLiteral("Refresh")), &QAction::triggered, this, [this] { m_service.refresh(); });
    connect(m_menu->addAction(QStringLiteral("Show in File Manager")), &QAction::triggered, this,
            [this] { m_service.revealInFileManager(); });
    m_menu->addSeparator();
    connect(m_menu->addAction(QStringLiteral("Close Workspace")), &QAction::triggered, this,
            [this] { m_service.clearRoot(); });
    m_options->setMenu(m_menu);
    row->addWidget(m_options);
    return m_folderBar;
}

QString AgentWorkspaceSidebar::folderNameText() const
{
    return static_cast<MiddleElidedLabel *>(m_folderName)->fullText();
}

void AgentWorkspaceSidebar::showRoot()
{
    const bool hasRoot = m_service.hasRoot();
    m_pages->setCurrentWidget(hasRoot ? m_rootPage : m_emptyPrompt);
    const QString name = m_service.rootDisplayName();
    static_cast<MiddleElidedLabel *>(m_folderName)->setFullText(name.isEmpty() ? QStringLiteral("Folder") : name);
}

void AgentWorkspaceSidebar::showScanning()
{
    m_progress->setVisible(m_service.isScanning());
}

void AgentWorkspaceSidebar::watchSelectedDocument()
{
    TabDocument *selected = m_manager.selectedDocument();
    if (selected != m_watched) {
        if (m_watched)
            disconnect(m_watched, nullptr, this, nullptr);
        m_watched = selected;
        // Save As gives the document another file.
        if (selected)
            connect(selected, &TabDocument::fileURLChanged, this, &AgentWorkspaceSidebar::updateOpenPath);
    }
    updateOpenPath();
}

void AgentWorkspaceSidebar::updateOpenPath()
{
    const TabDocument *selected = m_manager.selectedDocument();
    m_model->setOpenPath(selected ? cleanedLocalPath(selected->fileURL()) : QString());
}

void AgentWorkspaceSidebar::openRow(const QModelIndex &index)
{
    switch (m_model->kind(index)) {
    case AgentWorkspaceModel::RowKind::Pin:
    case AgentWorkspaceModel::RowKind::Node: {
        if (index.data(AgentWorkspaceModel::IsFolderRole).toBool())
            return;
        m_manager.openFile(QUrl::fromLocalFile(index.data(AgentWorkspaceModel::PathRole).toString()));
        break;
    }
    default:
        break;
    }
}

void AgentWorkspaceSidebar::activateRow(const QModelIndex &index)
{
    // Enter on a folder opens or closes it, as its arrow would.
    if (index.data(AgentWorkspaceModel::IsFolderRole).toBool()) {
        m_list->setExpanded(index, !m_list->isExpanded(index));
        return;
    }
    openRow(index);
}

void AgentWorkspaceSidebar::toggleStar(const QModelIndex &index)
{
    if (const AgentFileNode *node = m_model->node(index))
        m_service.toggleFavorite(AgentFileNode(*node));
}

void AgentWorkspaceSidebar::unpin(const QModelIndex &index)
{
    if (const std::optional<AgentFavorite> favorite = m_model->favorite(index))
        m_service.removeFavorite(*favorite);
}

void AgentWorkspaceSidebar::rememberExpanded()
{
    m_expanded.clear();
    for (const QModelIndex &folder : m_model->folderIndexes()) {
        if (m_list->isExpanded(folder))
            m_expanded.append(folder.data(AgentWorkspaceModel::PathRole).toString());
    }
}

void AgentWorkspaceSidebar::restoreExpanded()
{
    if (m_expanded.isEmpty())
        return;
    const QSet<QString> wanted(m_expanded.cbegin(), m_expanded.cend());
    m_expanded.clear();
    for (const QModelIndex &folder : m_model->folderIndexes()) {
        if (wanted.contains(folder.data(AgentWorkspaceModel::PathRole).toString()))
            m_list->setExpanded(folder, true);
    }
}

void AgentWorkspaceSidebar::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColors();
}

void AgentWorkspaceSidebar::applyColors()
{
    const QPalette &pal = palette();
    m_headerIcon->setPixmap(AgentWorkspaceIcons::pixmap(Symbol::sparkles, WindowStyle::accent(pal), 11, devicePixelRatioF()));
    tint(m_headerTitle, WindowStyle::secondary(pal));
    m_hide->setForeground(WindowStyle::secondary(pal));
    m_promptIcon->setPixmap(
        AgentWorkspaceIcons::pixmap(Symbol::folderBadgeGear, WindowStyle::tertiary(pal), 34, devicePixelRatioF()));
    tint(m_promptText, WindowStyle::secondary(pal));
    m_chooseFolder->setIcon(AgentWorkspaceIcons::themedIcon(Symbol::folder, WindowStyle::primary(pal)));
    m_folderIcon->setPixmap(AgentWorkspaceIcons::pixmap(Symbol::folderFill, WindowStyle::accent(pal), 12, devicePixelRatioF()));
    m_options->setIcon(AgentWorkspaceIcons::icon(Symbol::ellipsisCircle, WindowStyle::secondary(pal)));
}

void AgentWorkspaceSidebar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPalette &pal = palette();
    painter.fillRect(rect(), pal.color(QPalette::Base));
    painter.fillRect(rect(), WindowStyle::withAlpha(pal.color(QPalette::Button), 0.5));
}
