#include "ServerPandocFormat.h"

QList<ServerPandocFormat> ServerPandocFormat::allCases()
{
    return {Docx, Epub, Latex, Revealjs};
}

std::optional<ServerPandocFormat> ServerPandocFormat::fromRawValue(const QString &rawValue)
{
    for (ServerPandocFormat format : allCases()) {
        if (format.rawValue() == rawValue)
            return format;
    }
    return std::nullopt;
}

QString ServerPandocFormat::rawValue() const
{
    switch (m_value) {
    case Docx: return QStringLiteral("docx");
    case Epub: return QStringLiteral("epub");
    case Latex: return QStringLiteral("latex");
    case Revealjs: return QStringLiteral("revealjs");
    }
    return {};
}

QString ServerPandocFormat::fileExtension() const
{
    switch (m_value) {
    case Docx: return QStringLiteral("docx");
    case Epub: return QStringLiteral("epub");
    case Latex: return QStringLiteral("tex");
    case Revealjs: return QStringLiteral("html");
    }
    return {};
}

QString ServerPandocFormat::menuTitle() const
{
    switch (m_value) {
    case Docx: return QStringLiteral("Export DOCX…");
    case Epub: return QStringLiteral("Export EPUB…");
    case Latex: return QStringLiteral("Export LaTeX…");
    case Revealjs: return QStringLiteral("Export Slides…");
    }
    return {};
}
