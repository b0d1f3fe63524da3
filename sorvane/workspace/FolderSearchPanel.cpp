#include "FolderSearchPanel.h"

#include "FolderSearchDelegate.h"
#include "FolderSearchResultModel.h"
#include "FolderSearchSymbol.h"
#include "WorkspaceSearchService.h"
#include "window/GlyphButton.h"
#include "window/WindowStyle.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

void setTextColor(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

} // namespace

FolderSearchPanel::FolderSearchPanel(WorkspaceSearchService *service, QWidget *parent)
    : FloatingPanel(true, parent)
    , m_service(service)
{
    setFixedSize(panelWidth, panelHeight);
    layout()->setContentsMargins(0, 0, 0, 0);
    auto *column = new QVBoxLayout(contentArea());
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Header: symbol, query field, case toggle; room on the right for the close button.
    auto *header = new QHBoxLayout;
    const int closeRoom = closeButton() ? closeButton()->sizeHint().width() + 4 : 0;
    header->setContentsMargins(16, 12, 16 + closeRoom, 12);
    header->setSpacing(10);
    header->addWidget(new FolderSearchSymbol(FolderSearchSymbol::Shape::magnifier, 18, contentArea()));
    m_query = new QLineEdit(m_service->query(), contentArea());
    m_query->setPlaceholderText(tr("Search across folder..."));
    m_query->setFrame(false);
    m_query->setFont(WindowStyle::font(16));
    m_query->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    m_query->installEventFilter(this);
    header->addWidget(m_query, 1);
    QFont toggleFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    toggleFont.setPixelSize(11);
    m_caseToggle = new GlyphButton(QStringLiteral("Aa"), toggleFont, contentArea());
    m_caseToggle->setCheckable(true);
    m_caseToggle->setChecked(m_service->caseSensitive());
    m_caseToggle->setHighlightBackground(0.15);
    m_caseToggle->setToolTip(tr("Case sensitive"));
    m_caseToggle->setAccessibleName(tr("Case sensitive"));
    header->addWidget(m_caseToggle);
    column->addLayout(header);
    column->addWidget(WindowStyle::divider(Qt::Horizontal, contentArea()));

    // Content: the empty state or the results.
    m_stack = new QStackedWidget(contentArea());
    auto *empty = new QWidget(m_stack);
    auto *emptyColumn = new QVBoxLayout(empty);
    emptyColumn->setSpacing(6);
    emptyColumn->addStretch(1);
    m_emptySymbol = new FolderSearchSymbol(FolderSearchSymbol::Shape::documentSearch, 30, empty);
    m_emptySymbol->setStrength(0.28);
    emptyColumn->addWidget(m_emptySymbol, 0, Qt::AlignHCenter);
    m_emptyText = new QLabel(empty);
    m_emptyText->setFont(WindowStyle::font(12));
    emptyColumn->addWidget(m_emptyText, 0, Qt::AlignHCenter);
    emptyColumn->addStretch(1);
    m_stack->addWidget(empty);

    m_list = new QListView(m_stack);
    m_model = new FolderSearchResultModel(m_list);
    m_list->setModel(m_model);
    m_list->setItemDelegate(new FolderSearchDelegate(m_list));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Thousands of rows are laid out a batch per event-loop turn, not in one stall.
    m_list->setLayoutMode(QListView::Batched);
    m_list->setBatchSize(200);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setMouseTracking(true);
    m_list->viewport()->setAutoFillBackground(false);
    m_list->setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
    m_list->installEventFilter(this);
    m_stack->addWidget(m_list);
    column->addWidget(m_stack, 1);
    column->addWidget(WindowStyle::divider(Qt::Horizontal, contentArea()));

    // Footer: status on the left, the searched folder on the right.
    auto *footer = new QHBoxLayout;
    footer->setContentsMargins(14, 8, 14, 8);
    m_busy = new QProgressBar(contentArea());
    m_busy->setRange(0, 0);
    m_busy->setTextVisible(false);
    m_busy->setFixedSize(40, 6);
    footer->addWidget(m_busy);
    m_status = new QLabel(contentArea());
    m_status->setFont(WindowStyle::font(11));
    m_status->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    footer->addWidget(m_status);
    m_root = new QLabel(contentArea());
    m_root->setFont(WindowStyle::font(11));
    // Takes what the status leaves; refreshFooter() cuts the path to fit.
    m_root->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_root->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    footer->addWidget(m_root, 1);
    column->addLayout(footer);

    connect(m_query, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_service->setQuery(text);
        m_service->performSearch();
    });
    connect(m_query, &QLineEdit::returnPressed, m_service, &WorkspaceSearchService::performSearch);
    connect(m_caseToggle, &QAbstractButton::toggled, m_service, &WorkspaceSearchService::setCaseSensitive);
    connect(m_service, &WorkspaceSearchService::caseSensitiveChanged, this,
            [this] { m_caseToggle->setChecked(m_service->caseSensitive()); });
    connect(m_list, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) { openRow(index.row()); });
    connect(m_service, &WorkspaceSearchService::filesChanged, this, [this] {
        m_model->setFiles(m_service->files());
        refreshContent();
    });
    connect(m_service, &WorkspaceSearchService::queryChanged, this, [this] {
        refreshContent();
        refreshFooter();
    });
    for (auto signal : {&WorkspaceSearchService::isSearchingChanged, &WorkspaceSearchService::totalMatchesChanged,
                        &WorkspaceSearchService::cappedChanged, &WorkspaceSearchService::rootURLChanged})
        connect(m_service, signal, this, &FolderSearchPanel::refreshFooter);

    m_model->setFiles(m_service->files());
    applyColors();
    refreshContent();
    refreshFooter();
}

void FolderSearchPanel::applyColors()
{
    setTextColor(m_emptyText, WindowStyle::secondary(palette()));
    setTextColor(m_status, WindowStyle::secondary(palette()));
    setTextColor(m_root, WindowStyle::tertiary(palette()));
}

void FolderSearchPanel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        applyColors();
    FloatingPanel::changeEvent(event);
}

bool FolderSearchPanel::showsEmptyState() const
{
    return m_stack->currentWidget() != m_list;
}

void FolderSearchPanel::refreshContent()
{
    const bool noQuery = m_service->query().isEmpty();
    m_emptySymbol->setShape(noQuery ? FolderSearchSymbol::Shape::documentSearch : FolderSearchSymbol::Shape::noMatches);
    m_emptyText->setText(noQuery ? tr("Type to search this folder") : tr("No matches"));
    m_stack->setCurrentIndex(m_service->files().isEmpty() ? 0 : 1);
}

void FolderSearchPanel::refreshFooter()
{
    const bool searching = m_service->isSearching();
    m_busy->setVisible(searching);
    if (searching) {
        m_status->setText(tr("Searching…"));
    } else if (!m_service->query().isEmpty()) {
        // "+" when a cap stopped the count: there may be more.
        const QString total =
            QString::number(m_service->totalMatches()) + (m_service->capped() ? QStringLiteral("+") : QString());
        m_status->setText(tr("%1 matches in %2 files").arg(total).arg(m_service->files().size()));
    } else {
        m_status->clear();
    }

    const QString path = m_service->rootURL().toLocalFile();
    m_root->setToolTip(path);
    const int room = panelWidth - 2 * 14 - 12 - (searching ? m_busy->width() + 6 : 0)
                     - m_status->fontMetrics().horizontalAdvance(m_status->text());
    m_root->setText(m_root->fontMetrics().elidedText(path, Qt::ElideMiddle, qMax(0, room)));
}

void FolderSearchPanel::openRow(int row)
{
    const QModelIndex index = m_model->index(row);
    if (!index.isValid())
        return;
    Q_EMIT openRequested(index.data(FolderSearchResultModel::UrlRole).toUrl(),
                         index.data(FolderSearchResultModel::LineRole).toInt());
}

void FolderSearchPanel::showEvent(QShowEvent *event)
{
    FloatingPanel::showEvent(event);
    m_query->setFocus(Qt::OtherFocusReason);
}

bool FolderSearchPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        // Down from the field walks into the results; Return on a result opens it.
        if (watched == m_query && key->key() == Qt::Key_Down && m_model->rowCount() > 0 && !showsEmptyState()) {
            m_list->setFocus(Qt::TabFocusReason);
            m_list->setCurrentIndex(m_model->index(0));
            return true;
        }
        if (watched == m_list && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            openRow(m_list->currentIndex().row());
            return true;
        }
    }
    return FloatingPanel::eventFilter(watched, event);
}
