#pragma once

#include <QPointer>
#include <QWidget>

class QToolButton;

// The frame of the floating navigators (folder search, Quick Open): one frameless tool
// window above the main window, painted as a translucent rounded card with a stroke.
// Shown centred on the anchor's screen and activated; hidden on Escape and when
// another window takes the activation. Subclasses lay out their content in
// contentArea().
class FloatingPanel : public QWidget
{
    Q_OBJECT
public:
    // A closable panel gets a close button in its top right corner.
    explicit FloatingPanel(bool closable, QWidget *parent = nullptr);

    // The window whose screen the panel centres on (held weakly); none: the primary screen.
    void setAnchorWindow(QWidget *anchor);
    // Centres, shows, raises and activates the panel.
    void present();
    QWidget *contentArea() const { return m_content; }
    QToolButton *closeButton() const { return m_closeButton; }

    static constexpr int cornerRadius = 12;

Q_SIGNALS:
    // After the panel hid itself (Escape, lost activation, close button).
    void dismissed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void dismiss();
    void centreOnAnchorScreen();

    QPointer<QWidget> m_anchor;
    QWidget *m_content;
    QToolButton *m_closeButton = nullptr;
};
