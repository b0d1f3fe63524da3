#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class DocumentManager;
class QKeyEvent;
class SorvaneTextView;

// A small modal editing layer over one editor's text view: normal mode for motions
// and operators, insert mode for plain typing, visual mode extending a selection and
// a command line for a few ex commands. It keeps no copy of the text: motions read
// characters near the caret and every change is one QTextCursor edit block, so undo,
// the modified flag and the edit deltas behave as for typing.
class VimModeController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(Mode mode READ mode NOTIFY modeChanged)
    Q_PROPERTY(bool enabled READ isEnabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(QString commandBuffer READ commandBuffer NOTIFY commandBufferChanged)

public:
    enum class Mode { Normal, Insert, Visual, CommandLine };
    Q_ENUM(Mode)

    explicit VimModeController(QObject *parent = nullptr);

    void setTextView(SorvaneTextView *view);
    SorvaneTextView *textView() const { return m_textView; }
    void setDocumentManager(DocumentManager *manager);
    DocumentManager *documentManager() const;

    bool isEnabled() const { return m_enabled; }
    // On: normal mode. Off: back to insert mode, the plain editor.
    void setEnabled(bool on);
    Mode mode() const { return m_mode; }
    QString yankRegister() const { return m_yankRegister; }
    QString commandBuffer() const { return m_commandBuffer; }

    // The text view's key hook: a key press is handled (true swallows it); a shortcut
    // override is only answered, true when this layer will take the key.
    bool handleKeyEvent(QKeyEvent *event);

    // Sounds for a failed search or an unknown command; swapped in tests to count.
    std::function<void()> beep;

Q_SIGNALS:
    void modeChanged();
    void enabledChanged();
    void commandBufferChanged();

private:
    bool takesKey(QKeyEvent *event) const;
    bool handle(QKeyEvent *event);
    bool handleNormal(const QString &chars);
    bool handleVisual(const QString &chars);
    void handleCommandLine(QKeyEvent *event);
    void executeCommand(const QString &text);
    void setMode(Mode mode);
    void setCommandBuffer(const QString &text);
    void exitToNormal();
    void clearPending();
    qint64 count();

    // Reading near the caret.
    int length() const;
    int caret() const;
    QChar at(int position) const;
    int lineStart(int position) const;
    int lineRangeEnd(int position) const;
    int lineEndLocation(int position) const;
    int wordForwardLocation(int position) const;
    int wordBackwardLocation(int position) const;
    int wordEndForwardLocation(int position) const;
    int positionOnLine(int position, qint64 lines) const;

    // Moves and edits.
    void setCaret(int position);
    void setSelection(int anchor, int head);
    template<typename Step> void repeatMotion(qint64 times, Step step);
    void replace(int from, int to, const QString &text, int caretAfter = -1);
    void applyCharMotion(const QString &target);
    void applyOperatorMotion(QChar op, QChar motion);
    void moveCaret(qint64 lines);
    void openLineBelow();
    void openLineAbove();
    void deleteCharForward(qint64 n);
    void deleteCharBackward(qint64 n);
    void deleteToEndOfLine();
    void yankLine();
    void pasteFromYank(bool after);
    void deleteSelection();
    void extendSelectionTo(int head);
    void updateCaretStyle();
    void undo();
    void redo();
    void undoOrRedo(bool undo);

    QPointer<SorvaneTextView> m_textView;
    QPointer<DocumentManager> m_documentManager;
    Mode m_mode = Mode::Insert;
    QString m_pendingCount;
    QChar m_pendingOperator;
    bool m_awaitingG = false;
    QChar m_pendingCharMotion;
    int m_visualAnchor = 0;
    QString m_yankRegister;
    std::function<void()> m_lastAction;
    QString m_commandBuffer;
    bool m_enabled = false;
};
