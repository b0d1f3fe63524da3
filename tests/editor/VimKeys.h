#pragma once

#include <QApplication>
#include <QString>
#include <QStringView>
#include <QTest>
#include <QWidget>

// Sends keys written in a small notation to whatever widget has the focus (or to
// `fallback`), each through the shortcut map first as a real key press would go:
// plain characters, "<Esc>", "<CR>", "<BS>" and Ctrl chords such as "<C-r>".
inline void sendVimKeys(QWidget *fallback, QStringView keys)
{
    const auto target = [fallback] {
        QWidget *focus = QApplication::focusWidget();
        return focus ? focus : fallback;
    };
    for (qsizetype i = 0; i < keys.size();) {
        if (keys.at(i) == u'<') {
            const qsizetype close = keys.indexOf(u'>', i);
            const QStringView name = keys.mid(i + 1, close - i - 1);
            i = close + 1;
            if (name == u"Esc")
                QTest::keyClick(target(), Qt::Key_Escape);
            else if (name == u"CR")
                QTest::keyClick(target(), Qt::Key_Return);
            else if (name == u"BS")
                QTest::keyClick(target(), Qt::Key_Backspace);
            else if (name.startsWith(u"C-")) {
                const QChar letter = name.at(2).toUpper();
                QTest::sendKeyEvent(QTest::Click, target(), Qt::Key(letter.unicode()),
                                    QString(QChar(letter.unicode() - u'A' + 1)), Qt::ControlModifier);
            }
            continue;
        }
        // One key per code point: a surrogate pair is typed as one character.
        const qsizetype width = keys.at(i).isHighSurrogate() && i + 1 < keys.size() ? 2 : 1;
        const QString text = keys.mid(i, width).toString();
        i += width;
        const QChar c = text.front();
        Qt::Key code = Qt::Key_unknown;
        Qt::KeyboardModifiers modifiers = Qt::NoModifier;
        if (c.unicode() < 128) {
            code = Qt::Key(c.toUpper().unicode());
            if (c.isUpper())
                modifiers = Qt::ShiftModifier;
        }
        QTest::sendKeyEvent(QTest::Click, target(), code, text, modifiers);
    }
}
