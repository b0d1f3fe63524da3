#include "EmptyStateView.h"

#include "SorvaneBrandMark.h"
#include "WindowStyle.h"
#include "WorkspaceRootFolder.h"
#include "documents/DocumentManager.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QAbstractButton>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// One recent file: its name over the folder that holds it, on a faint rounded plate.
class RecentFileRow : public QAbstractButton
{
public:
    RecentFileRow(const QUrl &url, QWidget *parent)
        : QAbstractButton(parent)
        , m_name(url.isLocalFile() ? QFileInfo(url.toLocalFile()).fileName() : url.fileName())
        , m_folder(EmptyStateView::folderLine(url))
    {
        setCursor(Qt::PointingHandCursor);
        setMaximumWidth(420);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        setAccessibleName(m_name);
        setToolTip(url.isLocalFile() ? url.toLocalFile() : url.toString());
    }

    QSize sizeHint() const override
    {
        return {420, 10 + QFontMetrics(nameFont()).height() + 2 + QFontMetrics(folderFont()).height() + 10};
    }
    QSize minimumSizeHint() const override { return {120, sizeHint().height()}; }

protected:
    void enterEvent(QEnterEvent *event) override
    {
        m_hover = true;
        update();
        QAbstractButton::enterEvent(event);
    }
    void leaveEvent(QEvent *event) override
    {
        m_hover = false;
        update();
        QAbstractButton::leaveEvent(event);
    }
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPalette &pal = palette();
        QPainterPath plate;
        plate.addRoundedRect(QRectF(rect()), 10, 10);
        painter.fillPath(plate, WindowStyle::withAlpha(WindowStyle::primary(pal), isDown() ? 0.11 : m_hover ? 0.08 : 0.05));
        const QRect inner = rect().adjusted(12, 10, -12, -10);
        const QFontMetrics nameMetrics(nameFont());
        painter.setFont(nameFont());
        painter.setPen(WindowStyle::primary(pal));
        painter.drawText(QRect(inner.left(), inner.top(), inner.width(), nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         nameMetrics.elidedText(m_name, Qt::ElideRight, inner.width()));
        const QFontMetrics folderMetrics(folderFont());
        painter.setFont(folderFont());
        painter.setPen(WindowStyle::secondary(pal));
        painter.drawText(QRect(inner.left(), inner.top() + nameMetrics.height() + 2, inner.width(), folderMetrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, folderMetrics.elidedText(m_folder, Qt::ElideMiddle, inner.width()));
    }

private:
    static QFont nameFont() { return WindowStyle::font(13); }
    static QFont folderFont() { return WindowStyle::font(11); }

    QString m_name;
    QString m_folder;
    bool m_hover = false;
};

QLabel *makeLabel(const QString &text, const QFont &font, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    return label;
}

void setForeground(QWidget *widget, const QColor &color)
{
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, color);
    widget->setPalette(pal);
}

} // namespace

EmptyStateView::EmptyStateView(DocumentManager &manager, QWidget *parent)
    : QWidget(parent)
    , m_manager(manager)
    , m_openFile(new QPushButton(QStringLiteral("Open File...")))
    , m_newDocument(new QPushButton(QStringLiteral("New Document")))
    , m_workspace(new QPushButton)
    , m_recentSection(new QWidget)
    , m_recentRows(new QVBoxLayout)
{
    setAcceptDrops(true);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);

    // Small windows scroll the column rather than clipping the recent files.
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    auto *content = new QWidget;
    content->setAutoFillBackground(false);
    scroll->setWidget(content);
    auto *centring = new QVBoxLayout(content);
    centring->setContentsMargins(32, 32, 32, 32);
    auto *stack = new QVBoxLayout;
    stack->setSpacing(20);
    centring->addStretch(1);
    centring->addLayout(stack);
    centring->addStretch(1);

    stack->addWidget(new SorvaneBrandMark(80, 18, content), 0, Qt::AlignHCenter);
    QLabel *heading = makeLabel(QStringLiteral("No Documents Open"), WindowStyle::font(20, QFont::Normal), content);
    stack->addWidget(heading);
    QLabel *line = makeLabel(QStringLiteral("Open a markdown file, drop one here, or start a quick note."),
                             WindowStyle::font(13), content);
    stack->addWidget(line);
    m_secondaryLabels = {line};

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->addStretch(1);
    buttons->addWidget(m_openFile);
    buttons->addWidget(m_newDocument);
    buttons->addStretch(1);
    stack->addLayout(buttons);
    m_newDocument->setDefault(true);
    for (QPushButton *button : {m_openFile, m_newDocument})
        button->setMinimumSize(120, 30);
    connect(m_openFile, &QPushButton::clicked, this, [this] { m_manager.openFilePicker(); });
    connect(m_newDocument, &QPushButton::clicked, this, [this] { m_manager.newDocument(QString(), false); });

    // A link-like button under the two; shown once the workspace exists.
    m_workspace->setFlat(true);
    m_workspace->setCursor(Qt::PointingHandCursor);
    m_workspace->setFont(WindowStyle::font(13));
    m_workspace->setToolTip(QStringLiteral("Browse a project's AGENTS.md, CLAUDE.md, and every markdown file"));
    m_workspace->setIcon(QIcon::fromTheme(QStringLiteral("folder"), style()->standardIcon(QStyle::SP_DirIcon)));
    m_workspace->hide();
    connect(m_workspace, &QPushButton::clicked, this, &EmptyStateView::openWorkspace);
    stack->addWidget(m_workspace, 0, Qt::AlignHCenter);

    auto *recentLayout = new QVBoxLayout(m_recentSection);
    recentLayout->setContentsMargins(0, 8, 0, 0);
    recentLayout->setSpacing(10);
    QLabel *recentHeading = makeLabel(QStringLiteral("Recent Files"), WindowStyle::font(13, QFont::DemiBold), m_recentSection);
    m_secondaryLabels.append(recentHeading);
    recentLayout->addWidget(recentHeading);
    m_recentRows->setSpacing(10);
    recentLayout->addLayout(m_recentRows);
    stack->addWidget(m_recentSection);

    connect(&m_manager, &DocumentManager::recentDocumentsChanged, this, &EmptyStateView::rebuildRecent);
    rebuildRecent();
    applyColors();
}

void EmptyStateView::setWorkspaceRootFolder(WorkspaceRootFolder *rootFolder)
{
    if (m_rootFolder)
        disconnect(m_rootFolder, nullptr, this, nullptr);
    m_rootFolder = rootFolder;
    if (rootFolder)
        connect(rootFolder, &WorkspaceRootFolder::rootFolderChanged, this, &EmptyStateView::updateWorkspaceButton);
    updateWorkspaceButton();
}

void EmptyStateView::updateWorkspaceButton()
{
    m_workspace->setVisible(m_rootFolder != nullptr);
    const bool hasRoot = m_rootFolder && m_rootFolder->hasRootFolder();
    m_workspace->setText(hasRoot ? QStringLiteral("Show AI Workspace") : QStringLiteral("Set AI Working Directory\u2026"));
}

void EmptyStateView::openWorkspace()
{
    if (m_rootFolder && !m_rootFolder->hasRootFolder())
        m_rootFolder->chooseRootFolder();
    // Also after a cancelled picker: the sidebar then offers the choice itself.
    Settings::shared().setValue(SettingsKeys::showWorkspace, true);
}

void EmptyStateView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColors();
}

void EmptyStateView::applyColors()
{
    // Secondary texts are the palette's text colour, softened; they follow the appearance.
    for (QLabel *label : std::as_const(m_secondaryLabels))
        setForeground(label, WindowStyle::secondary(palette()));
    QPalette link = m_workspace->palette();
    link.setColor(QPalette::ButtonText, WindowStyle::accent(palette()));
    m_workspace->setPalette(link);
}

QString EmptyStateView::folderLine(const QUrl &url)
{
    if (url.isLocalFile())
        return QFileInfo(url.toLocalFile()).path();
    return url.adjusted(QUrl::RemoveFilename | QUrl::StripTrailingSlash).path();
}

void EmptyStateView::rebuildRecent()
{
    while (QLayoutItem *item = m_recentRows->takeAt(0)) {
        if (QWidget *row = item->widget())
            row->deleteLater();
        delete item;
    }
    m_shownRecent = m_manager.recentDocuments().mid(0, maximumRecentRows);
    for (const QUrl &url : std::as_const(m_shownRecent)) {
        auto *row = new RecentFileRow(url, m_recentSection);
        connect(row, &QAbstractButton::clicked, this, [this, url] { m_manager.openFile(url); });
        m_recentRows->addWidget(row, 0, Qt::AlignHCenter);
    }
    m_recentSection->setVisible(!m_shownRecent.isEmpty());
}

void EmptyStateView::setDropTargeted(bool on)
{
    if (m_dropTargeted == on)
        return;
    m_dropTargeted = on;
    update();
}

void EmptyStateView::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (!m_dropTargeted)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(WindowStyle::withAlpha(WindowStyle::accent(palette()), 0.5), 2);
    pen.setDashPattern({4, 4}); // in pen widths: 8 on, 8 off
    painter.setPen(pen);
    painter.drawRoundedRect(QRectF(rect()).adjusted(25, 25, -25, -25), 18, 18);
}

void EmptyStateView::dragEnterEvent(QDragEnterEvent *event)
{
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setDropTargeted(true);
}

void EmptyStateView::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void EmptyStateView::dragLeaveEvent(QDragLeaveEvent *event)
{
    setDropTargeted(false);
    QWidget::dragLeaveEvent(event);
}

void EmptyStateView::dropEvent(QDropEvent *event)
{
    setDropTargeted(false);
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Every URL goes on, in order; the manager decides what it can open.
    for (const QUrl &url : urls)
        m_manager.openFile(url);
}
