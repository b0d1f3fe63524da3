#include "SettingsForm.h"

#include "platform/PlatformConstants.h"

#include <QGroupBox>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace SettingsForm {

QGroupBox *addSection(QVBoxLayout *layout, const QString &title)
{
    auto *box = new QGroupBox(title);
    auto *inner = new QVBoxLayout(box);
    inner->setSpacing(6);
    layout->addWidget(box);
    return box;
}

QLabel *caption(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    // A role, not a colour: the note follows the palette of the window it ends up in.
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QLabel *link(const QString &text, const QUrl &url, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::RichText);
    // The HTML parser colours links from the application's palette, not the window's.
    const QColor color = (parent ? parent->palette() : label->palette()).color(QPalette::Link);
    label->setText(QStringLiteral("<a href=\"%1\" style=\"color: %2\">%3</a>")
                       .arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(), color.name(), text.toHtmlEscaped()));
    label->setOpenExternalLinks(true);
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    return label;
}

QUrl siteURL(const QString &pathAndQuery)
{
    return QUrl(QString::fromLatin1(PlatformConstants::website) + pathAndQuery);
}

QScrollArea *scrolling(QWidget *content)
{
    auto *area = new QScrollArea;
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return area;
}

} // namespace SettingsForm
