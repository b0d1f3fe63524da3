#pragma once

#include <QMainWindow>

#include <functional>

class DocumentManager;
class MainView;

// The one main window: MainView as its content, its title mirrored from the view's.
// The shell fills its menu bar, which distraction-free mode hides. Closing it is
// quitting: there is nothing to come back to, so the close button goes through the
// quit gate.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // Asks every way out whether the application may quit now (the shell's quit gate).
    using QuitRequest = std::function<bool()>;

    MainWindow(DocumentManager &manager, QuitRequest requestQuit, QWidget *parent = nullptr);

    MainView *mainView() const { return m_view; }

Q_SIGNALS:
    // The first paint of the window, once.
    void firstPaint();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void syncDistractionFree();

    QuitRequest m_requestQuit;
    MainView *m_view = nullptr;
    bool m_painted = false;
};
