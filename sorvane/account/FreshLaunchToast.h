#pragma once

#include <QPointer>
#include <QWidget>

class QTimer;
class QVariantAnimation;
class TolvernAccountBridge;

// The note in the main window's bottom-right corner after a launch brought the
// signed-in account back: "Your Sorvane files are ready.", for three seconds. It
// covers its parent (the window's content) but takes no mouse events, so everything
// under it stays usable. Showing it consumes the bridge's restore flag, so it
// appears at most once per restore. GUI thread only.
class FreshLaunchToast : public QWidget
{
    Q_OBJECT
public:
    static const QString message;

    FreshLaunchToast(TolvernAccountBridge &bridge, QWidget *parent);
    ~FreshLaunchToast() override;

    bool isToastVisible() const { return m_visible; }
    // How far the toast has come in: 0 gone, 1 fully shown.
    double presence() const { return m_progress; }
    // The toast's own rectangle inside this widget, shadow and margins excluded.
    QRect toastRect() const;
    // Tests run the three seconds and the animations faster; 1 is real time.
    void setTimeScale(double scale) { m_timeScale = scale; }

Q_SIGNALS:
    void toastVisibleChanged(bool visible);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void maybePresent();
    void setToastVisible(bool visible);
    void animateTo(double end, int durationMs, bool easeOut);
    int scaled(int milliseconds) const;
    QSize toastSize() const;

    QPointer<TolvernAccountBridge> m_bridge;
    bool m_visible = false;
    double m_timeScale = 1.0;
    // 0 hidden, 1 fully in place: drives the fade and the slide from the right.
    double m_progress = 0.0;
    QTimer *m_dismissTimer = nullptr;
    QVariantAnimation *m_animation = nullptr;
};
