#include "FolderSearchDelegate.h"

#include "FolderSearchResultModel.h"
#include "FolderSearchSymbol.h"
#include "window/WindowStyle.h"

#include <QFontDatabase>
#include <QPainter>

namespace {

QFont monospace(qreal pixelSize)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(qRound(pixelSize));
    return font;
}

QFont nameFont() { return WindowStyle::font(13, QFont::Medium); }
QFont captionFont() { return WindowStyle::font(11); }

bool isFileRow(const QModelIndex &index)
{
    return index.data(FolderSearchResultModel::KindRole).value<FolderSearchResultModel::Kind>()
           == FolderSearchResultModel::Kind::file;
}

} // namespace

FolderSearchDelegate::FolderSearchDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
    , m_fileRowHeight(sectionPadding + QFontMetrics(nameFont()).height())
    , m_lineRowHeight(lineSpacing + QFontMetrics(monospace(12)).height())
{
}

QSize FolderSearchDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const bool last = index.data(FolderSearchResultModel::LastInFileRole).toBool();
    int height = isFileRow(index) ? m_fileRowHeight : m_lineRowHeight;
    if (last)
        height += sectionPadding + 1;
    return QSize(option.rect.width(), height);
}

void FolderSearchDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QPalette &palette = option.palette;
    const bool file = isFileRow(index);
    const bool last = index.data(FolderSearchResultModel::LastInFileRole).toBool();
    QRect box = option.rect.adjusted(padding, file ? sectionPadding : lineSpacing, -padding,
                                     last ? -(sectionPadding + 1) : 0);

    painter->save();
    if (option.state & (QStyle::State_Selected | QStyle::State_MouseOver)) {
        const qreal strength = (option.state & QStyle::State_Selected) ? 0.14 : 0.07;
        painter->fillRect(option.rect, WindowStyle::withAlpha(WindowStyle::accent(palette), strength));
    }

    if (file) {
        const QFontMetrics nameMetrics(nameFont());
        const QFontMetrics captionMetrics(captionFont());
        const int spacing = 8;
        const int symbol = 14;
        FolderSearchSymbol::paint(*painter, FolderSearchSymbol::Shape::document,
                                  QRectF(box.left(), box.center().y() - symbol / 2.0 + 0.5, symbol, symbol),
                                  WindowStyle::secondary(palette));
        int x = box.left() + symbol + spacing;

        const QString count = index.data(FolderSearchResultModel::CountRole).toString();
        QFont countFont = monospace(11);
        const int countWidth = QFontMetrics(countFont).horizontalAdvance(count);
        painter->setFont(countFont);
        painter->setPen(WindowStyle::tertiary(palette));
        painter->drawText(QRect(box.right() - countWidth, box.top(), countWidth, box.height()),
                          Qt::AlignRight | Qt::AlignVCenter, count);
        const int right = box.right() - countWidth - spacing;

        const QString name = nameMetrics.elidedText(index.data().toString(), Qt::ElideMiddle, qMax(0, right - x));
        painter->setFont(nameFont());
        painter->setPen(WindowStyle::primary(palette));
        painter->drawText(QRect(x, box.top(), right - x, box.height()), Qt::AlignLeft | Qt::AlignVCenter, name);
        x += nameMetrics.horizontalAdvance(name) + spacing;

        const QString folder = captionMetrics.elidedText(index.data(FolderSearchResultModel::FolderRole).toString(),
                                                         Qt::ElideMiddle, qMax(0, right - x));
        painter->setFont(captionFont());
        painter->setPen(WindowStyle::secondary(palette));
        painter->drawText(QRect(x, box.top(), qMax(0, right - x), box.height()), Qt::AlignLeft | Qt::AlignVCenter,
                          folder);
    } else {
        box.setLeft(box.left() + padding);
        const QFont numberFont = monospace(11);
        painter->setFont(numberFont);
        painter->setPen(WindowStyle::tertiary(palette));
        painter->drawText(QRect(box.left(), box.top(), lineNumberWidth, box.height()), Qt::AlignRight | Qt::AlignTop,
                          QString::number(index.data(FolderSearchResultModel::LineRole).toInt()));
        const int x = box.left() + lineNumberWidth + 8;
        const QFont textFont = monospace(12);
        const QString text =
            QFontMetrics(textFont).elidedText(index.data().toString(), Qt::ElideRight, qMax(0, box.right() - x));
        painter->setFont(textFont);
        painter->setPen(WindowStyle::primary(palette));
        painter->drawText(QRect(x, box.top(), box.right() - x, box.height()), Qt::AlignLeft | Qt::AlignTop, text);
    }

    if (last) {
        painter->setPen(WindowStyle::withAlpha(palette.color(QPalette::Mid), 0.4));
        painter->drawLine(option.rect.left(), option.rect.bottom(), option.rect.right(), option.rect.bottom());
    }
    painter->restore();
}
