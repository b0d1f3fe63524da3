#pragma once

#include <QMainWindow>

class DocumentManager;
class MainView;
class QAction;
class QuitGate;

// The one main window: MainView as its content, its title mirrored from the view's,
// and the interim menu bar (File, View, Window). Closing it is quitting: there is
// nothing to come back to, so the close button goes through the quit gate.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    MainWindow(DocumentManager &manager, QuitGate &quitGate, QWidget *parent = nullptr);

    MainView *mainView() const { return m_view; }

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
    QuitGate &m_quitGate;
    MainView *m_view = nullptr;
    QList<QAction *> m_viewModeActions;
    QAction *m_distractionFreeAction = nullptr;
    bool m_painted = false;
};
