#include "ExportPeer.h"

#include "IdentityPeer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

ExportPeer::ExportPeer(QObject *parent)
    : QObject(parent)
{
    // The peer answers right after this signal, so the reply is chosen per request.
    connect(&m_http, &HttpPeer::requestReceived, this, &ExportPeer::prepare, Qt::DirectConnection);
}

QUrl ExportPeer::baseURL() const
{
    return m_http.url(QString());
}

void ExportPeer::prepare(const HttpPeer::Request &request)
{
    HttpPeer::Reply reply;
    if (!m_scripted.isEmpty()) {
        reply = m_scripted.takeFirst();
    } else {
        const QByteArray authorization = request.headers.value("authorization");
        const QByteArray token = authorization.mid(7);
        const bool accepted = m_tokens.contains(token) || (m_identity && m_identity->isLive(QString::fromUtf8(token)));
        if (!authorization.startsWith("Bearer ") || !accepted) {
            reply.status = 401;
            reply.body = R"({"error":"unauthorized"})";
        } else {
            reply = convert(request.body);
        }
    }
    m_http.route(path, reply, "POST");
}

HttpPeer::Reply ExportPeer::convert(const QByteArray &body) const
{
    HttpPeer::Reply reply;
    const QJsonObject json = QJsonDocument::fromJson(body).object();
    QTemporaryDir folder;
    const QString input = folder.filePath(QStringLiteral("in.md"));
    const QString output = folder.filePath(QStringLiteral("out"));
    QFile in(input);
    if (!in.open(QIODevice::WriteOnly) || in.write(json.value(QStringLiteral("markdown")).toString().toUtf8()) < 0) {
        reply.status = 500;
        return reply;
    }
    in.close();
    QProcess pandoc;
    pandoc.start(QStringLiteral("pandoc"),
                 {QStringLiteral("--standalone"), QStringLiteral("--from"), json.value(QStringLiteral("from")).toString(),
                  QStringLiteral("--to"), json.value(QStringLiteral("to")).toString(), QStringLiteral("--metadata"),
                  QStringLiteral("title=Export"), QStringLiteral("--output"), output, input});
    QFile out(output);
    if (!pandoc.waitForFinished(60000) || pandoc.exitCode() != 0 || !out.open(QIODevice::ReadOnly)) {
        reply.status = 422;
        reply.body = QJsonDocument(QJsonObject{{QStringLiteral("error"), QString::fromUtf8(pandoc.readAllStandardError())}})
                         .toJson();
        return reply;
    }
    reply.body = out.readAll();
    if (!contentDisposition.isEmpty())
        reply.headers.append({"Content-Disposition", contentDisposition});
    return reply;
}
