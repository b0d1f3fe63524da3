#include "MainWindow.h"

#include "MainView.h"
#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QKeySequence>
#include <QMenuBar>


MainWindow::MainWindow(DocumentManager &manager, QuitRequest requestQuit, QWidget *parent)
    : QMainWindow(parent)
    , m_manager(manager)
    , m_requestQuit(std::move(requestQuit))
{
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QStringLiteral("sorv.ane"));
    resize(900, 700);
    m_view = new MainView(manager, this);
    setCentralWidget(m_view);
    const auto mirrorTitle = [this](const QString &title) {
        setWindowTitle(title.isEmpty() ? QStringLiteral("sorv.ane") : title);
    };
    connect(m_view, &QWidget::windowTitleChanged, this, mirrorTitle);
    mirrorTitle(m_view->windowTitle());
    // The chosen appearance colours the application, not only this window: alerts and
    // file dialogs are windows of their own and take the application's palette. An
    // empty palette gives the desktop's own back.
    const auto applyScheme = [](const QString &scheme) { QApplication::setPalette(MainView::paletteForColorScheme(scheme)); };
    connect(m_view, &MainView::colorSchemeChanged, this, applyScheme);
    applyScheme(m_view->colorScheme());
    buildMenus();
    connect(&Settings::shared(), &Settings::valueChanged, this, [this](const QString &key) {
        if (key == SettingsKeys::preferredViewMode)
            syncViewMode();
        else if (key == SettingsKeys::distractionFree)
            syncDistractionFree();
    });
    syncViewMode();
    syncDistractionFree();
}

void MainWindow::setDocumentCommands(DocumentExportCommands *exports, DocumentEncryptionCommands *encryption)
{
    m_exports = exports;
    m_encryption = encryption;
    m_view->setExportCommands(exports);
}

void MainWindow::buildMenus()
{
    const auto add = [this](QMenu *menu, const QString &title, const QList<QKeySequence> &keys, auto slot) {
        QAction *action = menu->addAction(title);
        action->setShortcuts(keys);
        connect(action, &QAction::triggered, this, slot);
        // Shortcuts keep working while the menu bar is hidden (distraction-free).
        addAction(action);
        return action;
    };
    // The export and encryption commands, when the application has set them.
    const auto exports = [this](void (DocumentExportCommands::*command)()) {
        return [this, command] {
            if (m_exports)
                (m_exports->*command)();
        };
    };
    const auto encryption = [this](void (DocumentEncryptionCommands::*command)()) {
        return [this, command] {
            if (m_encryption)
                (m_encryption->*command)();
        };
    };

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    add(file, QStringLiteral("New"), {QKeySequence::New}, [this] { m_manager.newDocument(QString(), false); });
    add(file, QStringLiteral("Open…"), {QKeySequence::Open}, [this] { m_manager.openFilePicker(); });
    file->addSeparator();
    add(file, QStringLiteral("Save"), {QKeySequence::Save}, [this] {
        if (TabDocument *doc = m_manager.selectedDocument())
            m_manager.save(doc);
    });
    add(file, QStringLiteral("Save As…"), {QKeySequence(QStringLiteral("Ctrl+Shift+S"))}, [this] {
        if (TabDocument *doc = m_manager.selectedDocument())
            m_manager.saveAs(doc);
    });
    add(file, QStringLiteral("Revert to Saved"), {}, [this] { m_manager.revertCurrentDocument(); });
    file->addSeparator();
    add(file, QStringLiteral("Export HTML..."), {}, exports(&DocumentExportCommands::exportHTMLCurrentDocument));
    add(file, QStringLiteral("Export PDF..."), {}, exports(&DocumentExportCommands::exportPDFCurrentDocument));
    add(file, QStringLiteral("Share…"), {}, [this] {
        if (m_exports)
            m_exports->shareCurrentDocument(centralWidget());
    });
    file->addSeparator();
    add(file, QStringLiteral("Encrypt Document..."), {}, encryption(&DocumentEncryptionCommands::encryptCurrentDocument));
    add(file, QStringLiteral("Decrypt Open File..."), {}, encryption(&DocumentEncryptionCommands::openEncryptedFile));
    file->addSeparator();
    add(file, QStringLiteral("Print..."), {QKeySequence::Print}, exports(&DocumentExportCommands::printCurrentDocument));
    file->addSeparator();
    add(file, QStringLiteral("Close"), {QKeySequence::Close}, [this] { m_manager.closeCurrentDocumentOrWindow(); });
    // Quitting and closing the window are the same way out, through the quit gate.
    add(file, QStringLiteral("Quit"), {QKeySequence::Quit}, [this] { close(); });

    QMenu *edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    add(edit, QStringLiteral("Copy as Rich Text"), {QKeySequence(QStringLiteral("Ctrl+Shift+C"))},
        exports(&DocumentExportCommands::copyCurrentAsRichText));
    add(edit, QStringLiteral("Copy as HTML"), {QKeySequence(QStringLiteral("Ctrl+Alt+C"))},
        exports(&DocumentExportCommands::copyCurrentAsHTML));

    QMenu *view = menuBar()->addMenu(QStringLiteral("&View"));
    auto *modes = new QActionGroup(this);
    const struct {
        const char *title;
        const char *value;
        const char *keys;
    } viewModes[] = {{"Preview", "Preview", "Ctrl+1"}, {"Editor", "Editor", "Ctrl+2"}, {"Split View", "Split", "Ctrl+3"}};
    for (const auto &mode : viewModes) {
        const QString value = QString::fromLatin1(mode.value);
        QAction *action = add(view, QString::fromLatin1(mode.title), {QKeySequence(QString::fromLatin1(mode.keys))},
                              [value] { Settings::shared().setPreferredViewMode(value); });
        action->setCheckable(true);
        action->setData(value);
        modes->addAction(action);
        m_viewModeActions.append(action);
    }
    view->addSeparator();
    m_distractionFreeAction = add(view, QStringLiteral("Enter Distraction-Free"), {QKeySequence(Qt::Key_F11)},
                                  [this] { Q_EMIT distractionFreeToggleRequested(); });

    QMenu *window = menuBar()->addMenu(QStringLiteral("&Window"));
    add(window, QStringLiteral("Show Next Tab"),
        {QKeySequence(QStringLiteral("Ctrl+PgDown")), QKeySequence(QStringLiteral("Ctrl+Tab"))},
        [this] { m_manager.selectNextTab(); });
    add(window, QStringLiteral("Show Previous Tab"),
        {QKeySequence(QStringLiteral("Ctrl+PgUp")), QKeySequence(QStringLiteral("Ctrl+Shift+Tab"))},
        [this] { m_manager.selectPreviousTab(); });
}

void MainWindow::syncViewMode()
{
    const QString mode = Settings::shared().preferredViewMode();
    for (QAction *action : std::as_const(m_viewModeActions))
        action->setChecked(action->data().toString() == mode);
}

void MainWindow::syncDistractionFree()
{
    const bool on = Settings::shared().distractionFree();
    m_distractionFreeAction->setText(on ? QStringLiteral("Exit Distraction-Free") : QStringLiteral("Enter Distraction-Free"));
    // Full screen without chrome: the menu bar goes too; the view drops its tab bar.
    menuBar()->setVisible(!on);
}

bool MainWindow::event(QEvent *event)
{
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::Paint || event->type() == QEvent::UpdateRequest) {
        if (!m_painted) {
            m_painted = true;
            Q_EMIT firstPaint();
        }
    }
    return handled;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window quits, once every unsaved tab was answered. Cancel or a
    // failed save keeps the window open.
    if (m_requestQuit && !m_requestQuit()) {
        event->ignore();
        return;
    }
    event->accept();
    QApplication::quit();
}
