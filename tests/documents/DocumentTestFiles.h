#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

// A temp folder of document files for one test function.
class DocumentTestFiles
{
public:
    QString path(const QString &name) const { return QDir(m_dir.path()).filePath(name); }

    QString write(const QString &name, const QByteArray &bytes) const
    {
        const QString file = path(name);
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write test file");
        out.write(bytes);
        return file;
    }

    static QByteArray read(const QString &file)
    {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly))
            return QByteArray("<unreadable>");
        return in.readAll();
    }

    // Writes in place (as another program would) and stamps the given modification time.
    static void overwriteAt(const QString &file, const QByteArray &bytes, const QDateTime &time)
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot overwrite test file");
        out.write(bytes);
        out.flush();
        out.setFileTime(time, QFileDevice::FileModificationTime);
    }

    static void setModificationTime(const QString &file, const QDateTime &time)
    {
        QFile out(file);
        if (!out.open(QIODevice::ReadWrite))
            qFatal("cannot touch test file");
        out.setFileTime(time, QFileDevice::FileModificationTime);
    }

private:
    QTemporaryDir m_dir;
};
