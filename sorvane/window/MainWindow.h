#pragma once

#include "documents/encryption/DocumentEncryptionCommands.h"
#include "export/DocumentExportCommands.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>

class DocumentManager;
class MainView;
class QAction;

// The one main window: MainView as its content, its title mirrored from the view's,
// and the interim menu bar (File, View, Window). Closing it is quitting: there is
// nothing to come back to, so the close button goes through the quit gate.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // Asks every way out whether the application may quit now (the shell's quit gate).
    using QuitRequest = std::function<bool()>;

    MainWindow(DocumentManager &manager, QuitRequest requestQuit, QWidget *parent = nullptr);

    MainView *mainView() const { return m_view; }

    // The commands behind the export, share, print, copy and encryption menu items;
    // until they are set those items do nothing.
    void setDocumentCommands(DocumentExportCommands *exports, DocumentEncryptionCommands *encryption);

Q_SIGNALS:
    // The View menu's distraction-free command (F11); the application flips the mode.
    void distractionFreeToggleRequested();
    // The first paint of the window, once.
    void firstPaint();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void buildMenus();
    void syncViewMode();
    void syncDistractionFree();

    DocumentManager &m_manager;
    QuitRequest m_requestQuit;
    QPointer<DocumentExportCommands> m_exports;
    QPointer<DocumentEncryptionCommands> m_encryption;
    MainView *m_view = nullptr;
    QList<QAction *> m_viewModeActions;
    QAction *m_distractionFreeAction = nullptr;
    bool m_painted = false;
};
