#include "PlainDocumentWindow.h"

#include "documents/DocumentManager.h"
#include "documents/EditorView.h"
#include "documents/SorvaneTextView.h"
#include "documents/TabDocument.h"
#include "platform/Settings.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

PlainDocumentWindow::PlainDocumentWindow(DocumentManager &manager, QWidget *parent)
    : QMainWindow(parent)
    , m_manager(manager)
{
    setWindowTitle(QStringLiteral("sorv.ane"));
    setMinimumSize(600, 400);
    resize(900, 700);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_tabs = new QTabBar(central);
    m_tabs->setTabsClosable(true);
    m_tabs->setDocumentMode(true);
    m_tabs->setExpanding(false);
    m_editors = new QStackedWidget(central);
    layout->addWidget(m_tabs);
    layout->addWidget(m_editors, 1);
    setCentralWidget(central);

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
    connect(&m_manager, &DocumentManager::documentsChanged, this, &PlainDocumentWindow::rebuildTabs);
    connect(&m_manager, &DocumentManager::selectedIdChanged, this, &PlainDocumentWindow::showSelectedDocument);

    buildMenus();
    rebuildTabs();
}

void PlainDocumentWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    const auto add = [&](const QString &title, const QKeySequence &keys, auto slot) {
        QAction *action = file->addAction(title);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add(QStringLiteral("New"), QKeySequence::New, [this] { m_manager.newDocument(QString(), false); });
    add(QStringLiteral("Open…"), QKeySequence::Open, [this] { m_manager.openFilePicker(); });
    file->addSeparator();
    add(QStringLiteral("Save"), QKeySequence::Save, [this] {
        if (TabDocument *doc = m_manager.selectedDocument())
            m_manager.save(doc);
    });
    add(QStringLiteral("Save As…"), QKeySequence(QStringLiteral("Ctrl+Shift+S")), [this] {
        if (TabDocument *doc = m_manager.selectedDocument())
            m_manager.saveAs(doc);
    });
    add(QStringLiteral("Revert to Saved"), QKeySequence(), [this] { m_manager.revertCurrentDocument(); });
    file->addSeparator();
    add(QStringLiteral("Close"), QKeySequence::Close, [this] { m_manager.closeCurrentDocumentOrWindow(); });
    // Quitting and closing the window are the same way out, through the quit gate.
    add(QStringLiteral("Quit"), QKeySequence::Quit, [this] { close(); });

    QMenu *window = menuBar()->addMenu(QStringLiteral("&Window"));
    QAction *next = window->addAction(QStringLiteral("Show Next Tab"));
    next->setShortcuts({QKeySequence(QStringLiteral("Ctrl+PgDown")), QKeySequence(QStringLiteral("Ctrl+Tab"))});
    connect(next, &QAction::triggered, this, [this] { m_manager.selectNextTab(); });
    QAction *previous = window->addAction(QStringLiteral("Show Previous Tab"));
    previous->setShortcuts({QKeySequence(QStringLiteral("Ctrl+PgUp")), QKeySequence(QStringLiteral("Ctrl+Shift+Tab"))});
    connect(previous, &QAction::triggered, this, [this] { m_manager.selectPreviousTab(); });
}

void PlainDocumentWindow::rebuildTabs()
{
    m_updatingTabs = true;
    while (m_tabs->count() > 0)
        m_tabs->removeTab(0);
    const auto documents = m_manager.documents();
    QHash<QUuid, QPointer<EditorView>> kept;
    for (TabDocument *doc : documents) {
        m_tabs->addTab(QString());
        disconnect(doc, nullptr, this, nullptr);
        connect(doc, &TabDocument::fileURLChanged, this, &PlainDocumentWindow::refreshTabTitles);
        connect(doc, &TabDocument::isModifiedChanged, this, &PlainDocumentWindow::refreshTabTitles);
        if (m_editorById.contains(doc->id()))
            kept.insert(doc->id(), m_editorById.take(doc->id()));
    }
    // Editors of closed tabs go with them.
    for (const QPointer<EditorView> &editor : std::as_const(m_editorById))
        delete editor.data();
    m_editorById = kept;
    m_updatingTabs = false;
    refreshTabTitles();
    showSelectedDocument();
}

void PlainDocumentWindow::refreshTabTitles()
{
    const auto documents = m_manager.documents();
    for (int i = 0; i < documents.size() && i < m_tabs->count(); ++i) {
        TabDocument *doc = documents.at(i);
        m_tabs->setTabText(i, doc->isModified() ? QStringLiteral("● ") + doc->title() : doc->title());
        m_tabs->setTabToolTip(i, doc->fileURL().toLocalFile());
    }
    TabDocument *selected = m_manager.selectedDocument();
    setWindowTitle(selected ? selected->title() + QStringLiteral(" — sorv.ane") : QStringLiteral("sorv.ane"));
}

EditorView *PlainDocumentWindow::editorFor(TabDocument *document)
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
        // The echo of the editor's own edit needs no round trip (and no 10 MB compare).
        if (guarded && !m_applyingEdit)
            editor->replaceText(guarded->text());
    });
    connect(document, &TabDocument::fileURLChanged, editor, [editor, guarded] {
        if (guarded)
            editor->setBaseURL(guarded->baseURL());
    });
    return editor;
}

void PlainDocumentWindow::showSelectedDocument()
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
    refreshTabTitles();
}

void PlainDocumentWindow::closeEvent(QCloseEvent *event)
{
    // There is no Dock to come back from: closing the window quits, once every unsaved
    // tab was answered. Cancel or a failed save keeps the window open.
    if (!m_manager.prepareForTermination()) {
        event->ignore();
        return;
    }
    event->accept();
    QApplication::quit();
}
