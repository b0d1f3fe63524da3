#include "MainView.h"

#include "documents/DocumentManager.h"
#include "documents/EditorView.h"
#include "documents/SorvaneTextView.h"
#include "documents/TabDocument.h"
#include "platform/Settings.h"

#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

MainView::MainView(DocumentManager &manager, QWidget *parent)
    : QWidget(parent)
    , m_manager(manager)
{
    setMinimumSize(500, 400);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_tabs = new QTabBar(this);
    m_tabs->setTabsClosable(true);
    m_tabs->setDocumentMode(true);
    m_tabs->setExpanding(false);
    m_editors = new QStackedWidget(this);
    layout->addWidget(m_tabs);
    layout->addWidget(m_editors, 1);

    connect(m_tabs, &QTabBar::currentChanged, this, [this](int index) {
        if (m_updatingTabs || index < 0)
            return;
        const auto documents = m_manager.documents();
        if (index < documents.size())
            m_manager.setSelectedId(documents.at(index)->id());
    });
    connect(m_tabs, &QTabBar::tabCloseRequested, this, [this](int index) {
        const auto documents = m_manager.documents();
        if (index >= 0 && index < documents.size())
            m_manager.closeDocument(documents.at(index)->id());
    });
    connect(&m_manager, &DocumentManager::documentsChanged, this, &MainView::rebuildTabs);
    connect(&m_manager, &DocumentManager::selectedIdChanged, this, &MainView::showSelectedDocument);
    connect(&Settings::shared(), &Settings::valueChanged, this, [this](const QString &key) {
        if (key == QLatin1String("distractionFree"))
            applyChrome();
    });
    rebuildTabs();
}

void MainView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_manager.restoreSessionIfNeeded();
}

void MainView::applyChrome()
{
    const bool distractionFree = Settings::shared().boolValue(QStringLiteral("distractionFree"), false);
    m_tabs->setVisible(!m_manager.documents().isEmpty() && !distractionFree);
}

void MainView::rebuildTabs()
{
    m_updatingTabs = true;
    while (m_tabs->count() > 0)
        m_tabs->removeTab(0);
    const auto documents = m_manager.documents();
    QHash<QUuid, QPointer<EditorView>> kept;
    for (TabDocument *doc : documents) {
        m_tabs->addTab(QString());
        disconnect(doc, nullptr, this, nullptr);
        connect(doc, &TabDocument::fileURLChanged, this, &MainView::refreshTitles);
        connect(doc, &TabDocument::isModifiedChanged, this, &MainView::refreshTitles);
        if (m_editorById.contains(doc->id()))
            kept.insert(doc->id(), m_editorById.take(doc->id()));
    }
    for (const QPointer<EditorView> &editor : std::as_const(m_editorById))
        delete editor.data();
    m_editorById = kept;
    m_updatingTabs = false;
    applyChrome();
    showSelectedDocument();
}

void MainView::refreshTitles()
{
    const auto documents = m_manager.documents();
    for (int i = 0; i < documents.size() && i < m_tabs->count(); ++i) {
        TabDocument *doc = documents.at(i);
        m_tabs->setTabText(i, doc->isModified() ? QStringLiteral("● ") + doc->title() : doc->title());
        m_tabs->setTabToolTip(i, doc->fileURL().toLocalFile());
    }
    TabDocument *selected = m_manager.selectedDocument();
    if (!selected)
        setWindowTitle(QStringLiteral("sorv.ane"));
    else
        setWindowTitle(selected->isModified() ? selected->title() + QStringLiteral(" — Edited") : selected->title());
}

EditorView *MainView::editorFor(TabDocument *document)
{
    if (EditorView *existing = m_editorById.value(document->id()))
        return existing;
    const Settings &settings = Settings::shared();
    EditorViewConfiguration configuration;
    configuration.fontSize = m_manager.currentFontSize();
    configuration.wordWrap = settings.boolValue(QStringLiteral("wordWrap"), true);
    configuration.spellCheck = settings.boolValue(QStringLiteral("spellCheck"), true);
    configuration.syntaxHighlight = settings.boolValue(QStringLiteral("syntaxHighlight"), true);
    configuration.baseURL = document->baseURL();
    auto *editor = new EditorView(document->id(), document->text(), configuration, m_editors);
    m_editors->addWidget(editor);
    m_editorById.insert(document->id(), editor);
    QPointer<TabDocument> guarded(document);
    // Edits travel as deltas; text replaced from outside (revert, reload) comes back in.
    connect(editor, &EditorView::userEdited, document, [guarded, this](int position, int removed, const QString &inserted) {
        if (!guarded)
            return;
        m_applyingEdit = true;
        guarded->userEditedRange(position, removed, inserted);
        m_applyingEdit = false;
    });
    connect(document, &TabDocument::textChanged, editor, [editor, guarded, this] {
        if (guarded && !m_applyingEdit)
            editor->replaceText(guarded->text());
    });
    connect(document, &TabDocument::fileURLChanged, editor, [editor, guarded] {
        if (guarded)
            editor->setBaseURL(guarded->baseURL());
    });
    return editor;
}

void MainView::showSelectedDocument()
{
    TabDocument *selected = m_manager.selectedDocument();
    const auto documents = m_manager.documents();
    m_updatingTabs = true;
    m_tabs->setCurrentIndex(selected ? static_cast<int>(documents.indexOf(selected)) : -1);
    m_updatingTabs = false;
    if (selected) {
        EditorView *editor = editorFor(selected);
        m_editors->setCurrentWidget(editor);
        editor->textView()->setFocus();
    }
    m_editors->setVisible(selected != nullptr);
    refreshTitles();
}
