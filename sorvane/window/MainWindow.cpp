#include "MainWindow.h"

#include "MainView.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>


MainWindow::MainWindow(DocumentManager &manager, QuitRequest requestQuit, QWidget *parent)
    : QMainWindow(parent)
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
    connect(&Settings::shared(), &Settings::valueChanged, this, [this](const QString &key) {
        if (key == SettingsKeys::distractionFree)
            syncDistractionFree();
    });
    syncDistractionFree();
}

void MainWindow::syncDistractionFree()
{
    const bool on = Settings::shared().distractionFree();
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
