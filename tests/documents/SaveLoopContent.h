#pragma once

#include <QByteArray>

// The two 1 MB texts the save-loop helper writes in turn: same size, different bytes,
// so a mixed or truncated file cannot pass for either.
inline QByteArray saveLoopContent(char fill)
{
    constexpr int lineLength = 64;
    constexpr int lines = 16 * 1024;
    QByteArray line(lineLength - 1, fill);
    line.append('\n');
    QByteArray content;
    content.reserve(lineLength * lines);
    for (int i = 0; i < lines; ++i)
        content.append(line);
    return content;
}
