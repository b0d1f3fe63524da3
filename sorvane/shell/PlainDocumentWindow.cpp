#include "PlainDocumentWindow.h"

#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QVBoxLayout>

namespace {
// The widget keeps paragraph separators where the text had line feeds; every other
// character (non-breaking spaces, U+2028) is handed back as typed.
QString editorText(const QPlainTextEdit *editor)
{
    QString text = editor->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}
} // namespace

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
    m_editor = new QPlainTextEdit(central);
    m_editor->setFrameShape(QFrame::NoFrame);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(m_manager.currentFontSize() * 0.75);
    m_editor->setFont(font);
    layout->addWidget(m_tabs);
    layout->addWidget(m_editor, 1);
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
    connect(m_editor, &QPlainTextEdit::textChanged, this, &PlainDocumentWindow::editorTextChanged);
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
    for (TabDocument *doc : documents) {
        m_tabs->addTab(QString());
        // Each tab's title follows its document's file and modified state.
        connect(doc, &TabDocument::fileURLChanged, this, &PlainDocumentWindow::refreshTabTitles, Qt::UniqueConnection);
        connect(doc, &TabDocument::isModifiedChanged, this, &PlainDocumentWindow::refreshTabTitles, Qt::UniqueConnection);
        connect(doc, &TabDocument::textChanged, this, [this, doc] {
            if (doc == m_shown && !m_updatingEditor && editorText(m_editor) != doc->text())
                showSelectedDocument();
        }, Qt::UniqueConnection);
    }
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

void PlainDocumentWindow::showSelectedDocument()
{
    TabDocument *selected = m_manager.selectedDocument();
    const auto documents = m_manager.documents();
    m_updatingTabs = true;
    m_tabs->setCurrentIndex(selected ? static_cast<int>(documents.indexOf(selected)) : -1);
    m_updatingTabs = false;
    m_updatingEditor = true;
    if (selected != m_shown || !selected || editorText(m_editor) != selected->text()) {
        m_shown = selected;
        m_editor->setPlainText(selected ? selected->text() : QString());
    }
    m_editor->setEnabled(selected != nullptr);
    m_updatingEditor = false;
    refreshTabTitles();
    if (selected)
        m_editor->setFocus();
}

void PlainDocumentWindow::editorTextChanged()
{
    if (m_updatingEditor || !m_shown)
        return;
    m_updatingEditor = true;
    m_shown->userEditedText(editorText(m_editor));
    m_updatingEditor = false;
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
