#pragma once

#include <QPointer>
#include <QWidget>

class DocumentManager;
class GlyphButton;
class TabDocument;

// One tab of the tab bar: the document's title, a dot while it has unsaved changes,
// and a close button shown while the tab is selected or hovered. Clicking selects
// the document; the close button or a middle click closes it (asking to save first).
class TabItemView : public QWidget
{
    Q_OBJECT
public:
    TabItemView(DocumentManager &manager, TabDocument *document, bool isSelected, QWidget *parent = nullptr);

    TabDocument *document() const { return m_document; }
    void setSelected(bool selected);
    GlyphButton *closeButton() const { return m_close; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void refresh();
    void updateCloseButton();
    QFont titleFont() const;

    DocumentManager &m_manager;
    QPointer<TabDocument> m_document;
    GlyphButton *m_close;
    bool m_selected = false;
    bool m_hovering = false;
    Qt::MouseButton m_pressed = Qt::NoButton;
};
