#pragma once

#include <QSplitter>

// The split layout's two panes side by side. They keep the share of the width the
// user gave them (an even split at first) when the window grows or shrinks; a plain
// QSplitter hands all extra width out by stretch and drifts away from it. Its handle
// is a thin visible rule with a few pixels either side to grab.
class PaneSplitter : public QSplitter
{
    Q_OBJECT
public:
    static constexpr int grabWidth = 7;

    explicit PaneSplitter(QWidget *parent = nullptr);

    // The left pane's share of the width both panes have, 0 to 1.
    double leftShare() const { return m_leftShare; }
    // Lays the panes out at that share again; the pane calls it when both show again.
    void applyShare();

protected:
    QSplitterHandle *createHandle() override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    double m_leftShare = 0.5;
    bool m_applying = false;
};
