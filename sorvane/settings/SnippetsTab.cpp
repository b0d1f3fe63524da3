#include "SnippetsTab.h"

#include "SnippetEditorForm.h"

#include "editor/snippets/SnippetService.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int idRole = Qt::UserRole;

// A theme icon, or the given text on desktops whose theme lacks it.
void setIcon(QToolButton *button, const char *themeName, const QString &fallbackText)
{
    const QString name = QString::fromLatin1(themeName);
    if (QIcon::hasThemeIcon(name))
        button->setIcon(QIcon::fromTheme(name));
    else
        button->setText(fallbackText);
}

// One row: the name over the trigger.
QWidget *rowWidget(const Snippet &snippet)
{
    auto *row = new QWidget;
    auto *column = new QVBoxLayout(row);
    column->setContentsMargins(6, 4, 6, 4);
    column->setSpacing(2);
    auto *name = new QLabel(snippet.name);
    name->setObjectName(QStringLiteral("name"));
    name->setTextFormat(Qt::PlainText);
    QFont nameFont = name->font();
    nameFont.setPixelSize(13);
    nameFont.setWeight(QFont::Medium);
    name->setFont(nameFont);
    auto *trigger = new QLabel(snippet.trigger);
    trigger->setObjectName(QStringLiteral("trigger"));
    trigger->setTextFormat(Qt::PlainText);
    QFont triggerFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    triggerFont.setPixelSize(11);
    trigger->setFont(triggerFont);
    trigger->setForegroundRole(QPalette::PlaceholderText);
    // An empty name or trigger still takes its line, so rows keep one height.
    name->setMinimumHeight(QFontMetrics(nameFont).height());
    trigger->setMinimumHeight(QFontMetrics(triggerFont).height());
    column->addWidget(name);
    column->addWidget(trigger);
    return row;
}
} // namespace

SnippetsTab::SnippetsTab(SnippetService &service, QWidget *parent)
    : QWidget(parent)
    , m_service(service)
    , m_list(new QListWidget)
    , m_add(new QToolButton)
    , m_delete(new QToolButton)
    , m_reset(new QPushButton(QStringLiteral("Reset to defaults")))
    , m_editorPane(new QStackedWidget)
    , m_placeholder(new QLabel(QStringLiteral("Select a snippet")))
    , m_form(new SnippetEditorForm)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *split = new QSplitter(Qt::Horizontal);
    split->setChildrenCollapsible(false);
    layout->addWidget(split);

    auto *left = new QWidget;
    left->setMinimumWidth(180);
    auto *leftColumn = new QVBoxLayout(left);
    leftColumn->setContentsMargins(0, 0, 0, 0);
    leftColumn->setSpacing(0);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setFrameShape(QFrame::NoFrame);
    leftColumn->addWidget(m_list, 1);

    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(6, 6, 6, 6);
    bar->setSpacing(4);
    setIcon(m_add, "list-add", QStringLiteral("+"));
    m_add->setToolTip(QStringLiteral("Add snippet"));
    m_add->setAccessibleName(QStringLiteral("Add snippet"));
    setIcon(m_delete, "list-remove", QStringLiteral("\u2212"));
    m_delete->setToolTip(QStringLiteral("Delete snippet"));
    m_delete->setAccessibleName(QStringLiteral("Delete snippet"));
    m_reset->setFlat(true);
    QFont captionFont = m_reset->font();
    captionFont.setPointSizeF(captionFont.pointSizeF() * 0.85);
    m_reset->setFont(captionFont);
    bar->addWidget(m_add);
    bar->addWidget(m_delete);
    bar->addStretch(1);
    bar->addWidget(m_reset);
    leftColumn->addLayout(bar);

    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setForegroundRole(QPalette::PlaceholderText);
    m_editorPane->addWidget(m_placeholder);
    auto *formPage = new QWidget;
    auto *formColumn = new QVBoxLayout(formPage);
    formColumn->setContentsMargins(12, 12, 12, 12);
    formColumn->addWidget(m_form);
    m_editorPane->addWidget(formPage);

    split->addWidget(left);
    split->addWidget(m_editorPane);
    split->setStretchFactor(1, 1);
    split->setSizes({200, 400});

    connect(m_add, &QToolButton::clicked, this, &SnippetsTab::addSnippet);
    connect(m_delete, &QToolButton::clicked, this, &SnippetsTab::deleteSelected);
    connect(m_reset, &QPushButton::clicked, &m_service, &SnippetService::resetToDefaults);
    // Selection, not the current item: focus alone makes a row current without choosing it.
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem *> chosen = m_list->selectedItems();
        if (!chosen.isEmpty())
            select(chosen.first()->data(idRole).toUuid());
    });
    // Only what the user types reaches the service; loading a snippet is not an edit.
    connect(m_form, &SnippetEditorForm::edited, &m_service, &SnippetService::update);
    connect(&m_service, &SnippetService::snippetsChanged, this, &SnippetsTab::showSnippets);

    showSnippets();
}

std::optional<Snippet> SnippetsTab::selectedSnippet() const
{
    if (!m_selectedID)
        return std::nullopt;
    for (const Snippet &snippet : m_service.snippets()) {
        if (snippet.id == *m_selectedID)
            return snippet;
    }
    return std::nullopt;
}

bool SnippetsTab::isShowingPlaceholder() const
{
    return m_editorPane->currentWidget() == m_placeholder;
}

void SnippetsTab::addSnippet()
{
    Snippet snippet;
    snippet.name = QStringLiteral("New Snippet");
    snippet.trigger = QStringLiteral(";new");
    snippet.body = QStringLiteral("\u2026");
    m_service.add(snippet);
    select(snippet.id);
}

void SnippetsTab::deleteSelected()
{
    if (!m_selectedID)
        return;
    m_service.remove(*m_selectedID);
    // No confirmation; the selection goes to the top of the list, not a neighbour.
    const QList<Snippet> rest = m_service.snippets();
    select(rest.isEmpty() ? std::nullopt : std::optional<QUuid>(rest.first().id));
}

void SnippetsTab::select(const std::optional<QUuid> &id)
{
    m_selectedID = id;
    showSelection();
}

void SnippetsTab::showSnippets()
{
    const QList<Snippet> snippets = m_service.snippets();
    bool sameRows = m_list->count() == snippets.size();
    for (int i = 0; sameRows && i < snippets.size(); ++i)
        sameRows = m_list->item(i)->data(idRole).toUuid() == snippets.at(i).id;

    if (sameRows) {
        // An edit: refresh the texts in place so the list keeps its state.
        for (int i = 0; i < snippets.size(); ++i) {
            QWidget *row = m_list->itemWidget(m_list->item(i));
            row->findChild<QLabel *>(QStringLiteral("name"))->setText(snippets.at(i).name);
            row->findChild<QLabel *>(QStringLiteral("trigger"))->setText(snippets.at(i).trigger);
        }
    } else {
        const QSignalBlocker blocker(m_list);
        m_list->clear();
        for (const Snippet &snippet : snippets) {
            auto *item = new QListWidgetItem(m_list);
            item->setData(idRole, snippet.id);
            QWidget *row = rowWidget(snippet);
            item->setSizeHint(row->sizeHint());
            m_list->setItemWidget(item, row);
        }
    }
    showSelection();
}

void SnippetsTab::showSelection()
{
    m_delete->setEnabled(m_selectedID.has_value());
    {
        const QSignalBlocker blocker(m_list);
        int row = -1;
        for (int i = 0; i < m_list->count(); ++i) {
            const bool selected = m_selectedID && m_list->item(i)->data(idRole).toUuid() == *m_selectedID;
            if (selected)
                row = i;
            // The grey of the trigger is unreadable on the selection colour.
            m_list->itemWidget(m_list->item(i))
                ->findChild<QLabel *>(QStringLiteral("trigger"))
                ->setForegroundRole(selected ? QPalette::HighlightedText : QPalette::PlaceholderText);
        }
        if (row < 0) {
            m_list->clearSelection();
            m_list->setCurrentRow(-1);
        } else {
            m_list->setCurrentRow(row);
        }
    }
    const std::optional<Snippet> snippet = selectedSnippet();
    if (!snippet) {
        m_editorPane->setCurrentWidget(m_placeholder);
        return;
    }
    // The form keeps its copy while it matches: reloading it would reset the caret
    // in the field being typed in.
    if (m_form->snippet() != *snippet)
        m_form->setSnippet(*snippet);
    m_editorPane->setCurrentIndex(1);
}
