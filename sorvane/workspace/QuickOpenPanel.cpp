#include "QuickOpenPanel.h"

#include "QuickOpenController.h"
#include "QuickOpenGlyph.h"
#include "QuickOpenRowDelegate.h"
#include "window/WindowStyle.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QStackedWidget>
#include <QVBoxLayout>

QuickOpenPanel::QuickOpenPanel(QuickOpenController *controller, QWidget *parent)
    : FloatingPanel(false, parent)
    , m_controller(controller)
{
    setFixedSize(panelWidth, panelHeight);
    setWindowTitle(tr("Quick Open"));

    auto *column = new QVBoxLayout(contentArea());
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *header = new QHBoxLayout;
    header->setContentsMargins(16, 14, 16, 14);
    header->setSpacing(10);
    m_searchGlyph = new QLabel(contentArea());
    m_searchGlyph->setFixedSize(16, 16);
    header->addWidget(m_searchGlyph);
    m_field = new QLineEdit(contentArea());
    m_field->setFrame(false);
    m_field->setPlaceholderText(tr("Search markdown files..."));
    m_field->setFont(WindowStyle::font(18, QFont::Light));
    m_field->setAttribute(Qt::WA_MacShowFocusRect, false);
    // Only the background role is set, so the rest follows the panel's light or dark palette.
    QPalette fieldColors = m_field->palette();
    fieldColors.setColor(QPalette::Base, Qt::transparent);
    m_field->setPalette(fieldColors);
    m_field->installEventFilter(this);
    m_clearAction = m_field->addAction(QIcon(), QLineEdit::TrailingPosition);
    m_clearAction->setToolTip(tr("Clear"));
    m_clearAction->setVisible(false);
    header->addWidget(m_field, 1);
    column->addLayout(header);
    column->addWidget(WindowStyle::divider(Qt::Horizontal, contentArea()));

    m_stack = new QStackedWidget(contentArea());
    m_list = new QListWidget(m_stack);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setUniformItemSizes(true);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setContentsMargins(0, 4, 0, 4);
    QPalette listColors = m_list->palette();
    listColors.setColor(QPalette::Base, Qt::transparent);
    m_list->setPalette(listColors);
    m_list->setItemDelegate(new QuickOpenRowDelegate(controller, m_list));
    m_stack->addWidget(m_list);

    auto *empty = new QWidget(m_stack);
    auto *emptyColumn = new QVBoxLayout(empty);
    emptyColumn->setSpacing(8);
    emptyColumn->addStretch(1);
    m_emptyGlyph = new QLabel(empty);
    m_emptyGlyph->setAlignment(Qt::AlignCenter);
    emptyColumn->addWidget(m_emptyGlyph);
    m_emptyLabel = new QLabel(empty);
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    m_emptyLabel->setFont(WindowStyle::font(12));
    emptyColumn->addWidget(m_emptyLabel);
    emptyColumn->addStretch(1);
    m_stack->addWidget(empty);
    column->addWidget(m_stack, 1);
    updateGlyphs();

    connect(m_field, &QLineEdit::textEdited, controller, &QuickOpenController::setSearchText);
    connect(m_field, &QLineEdit::returnPressed, controller, &QuickOpenController::openSelected);
    connect(m_clearAction, &QAction::triggered, controller, [controller] { controller->setSearchText(QString()); });
    connect(controller, &QuickOpenController::searchTextChanged, this, [this] {
        if (m_field->text() != m_controller->searchText())
            m_field->setText(m_controller->searchText());
        m_clearAction->setVisible(!m_controller->searchText().isEmpty());
    });
    connect(controller, &QuickOpenController::resultsChanged, this, &QuickOpenPanel::rebuildRows);
    connect(controller, &QuickOpenController::selectedIndexChanged, this, &QuickOpenPanel::followSelection);
    connect(controller, &QuickOpenController::hideRequested, this, &QWidget::hide);
    // A click opens the clicked row, whichever is highlighted.
    connect(m_list, &QListWidget::clicked, controller,
            [controller](const QModelIndex &index) { controller->openResult(index.row()); });
    rebuildRows();
}

void QuickOpenPanel::showPanel()
{
    if (m_controller)
        m_controller->show();
    present();
    m_field->setFocus(Qt::PopupFocusReason);
}

void QuickOpenPanel::rebuildRows()
{
    if (!m_controller)
        return;
    m_list->clear();
    for (const QuickOpenResult &result : m_controller->results()) {
        auto *item = new QListWidgetItem(result.url.fileName(), m_list);
        item->setData(QuickOpenRowDelegate::FolderRole, m_controller->folderText(result.url));
        item->setData(QuickOpenRowDelegate::DateRole, result.modifiedDate);
        item->setToolTip(result.id);
    }
    const bool empty = m_controller->results().isEmpty();
    m_emptyLabel->setText(m_controller->searchText().isEmpty() ? tr("Indexing...") : tr("No matches"));
    m_stack->setCurrentIndex(empty ? 1 : 0);
    followSelection();
}

void QuickOpenPanel::followSelection()
{
    if (!m_controller)
        return;
    if (QListWidgetItem *item = m_list->item(m_controller->selectedIndex()))
        m_list->scrollToItem(item, QAbstractItemView::EnsureVisible);
    m_list->viewport()->update();
}

void QuickOpenPanel::updateGlyphs()
{
    const qreal ratio = devicePixelRatioF();
    const QPalette &colors = palette();
    m_searchGlyph->setPixmap(QuickOpenGlyph::pixmap(QuickOpenGlyph::Magnifier, 16, WindowStyle::secondary(colors), ratio));
    m_clearAction->setIcon(QIcon(QuickOpenGlyph::pixmap(QuickOpenGlyph::Clear, 16, WindowStyle::quaternary(colors), ratio)));
    m_emptyGlyph->setPixmap(QuickOpenGlyph::pixmap(QuickOpenGlyph::PageSearch, 28, WindowStyle::quaternary(colors), ratio));
    QPalette labelColors = m_emptyLabel->palette();
    labelColors.setColor(QPalette::WindowText, WindowStyle::secondary(colors));
    m_emptyLabel->setPalette(labelColors);
}

bool QuickOpenPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress && m_controller) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            m_controller->moveSelection(key == Qt::Key_Up ? -1 : 1);
            return true;
        }
    }
    return FloatingPanel::eventFilter(watched, event);
}

void QuickOpenPanel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        updateGlyphs();
    FloatingPanel::changeEvent(event);
}
