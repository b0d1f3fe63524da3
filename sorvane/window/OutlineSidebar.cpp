#include "OutlineSidebar.h"

#include "WindowStyle.h"
#include "documents/EditorRequestHub.h"

#include <QEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace {

constexpr int levelRole = Qt::UserRole + 1;

QFont fontForLevel(int level)
{
    const qreal size = level == 1 ? 14 : level == 2 ? 13 : 12;
    return WindowStyle::font(size, level <= 2 ? QFont::DemiBold : QFont::Normal);
}

// Rows indented 12 points per level below the first, bigger and stronger for the
// top two levels, one line each, cut at the end.
class OutlineRowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const override
    {
        return {0, QFontMetrics(fontForLevel(index.data(levelRole).toInt())).height() + 8};
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const int level = index.data(levelRole).toInt();
        const QPalette &pal = option.palette;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        if (option.state & QStyle::State_MouseOver) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(WindowStyle::withAlpha(WindowStyle::primary(pal), 0.06));
            painter->drawRoundedRect(QRectF(option.rect).adjusted(4, 0, -4, 0), 4, 4);
        }
        const QRect text = option.rect.adjusted(12 + 12 * (level - 1), 4, -8, -4);
        const QFont font = fontForLevel(level);
        painter->setFont(font);
        painter->setPen(level <= 2 ? WindowStyle::primary(pal) : WindowStyle::secondary(pal));
        painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(font).elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, text.width()));
        painter->restore();
    }
};

} // namespace

OutlineSidebar::OutlineSidebar(const QUuid &documentID, const QString &text, QWidget *parent)
    : QWidget(parent)
    , m_documentID(documentID)
    , m_text(text)
    , m_header(new QLabel(QStringLiteral("OUTLINE"), this))
    , m_empty(new QLabel(QStringLiteral("No headings found"), this))
    , m_list(new QListWidget(this))
{
    m_header->setFont(WindowStyle::font(11, QFont::DemiBold));
    m_header->setContentsMargins(12, 8, 12, 8);
    m_empty->setFont(WindowStyle::font(11));
    m_empty->setContentsMargins(12, 8, 12, 0);

    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setItemDelegate(new OutlineRowDelegate(m_list));
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setMouseTracking(true);
    m_list->setSpacing(1);
    m_list->setUniformItemSizes(false);
    // Transparent through the palette, not a style sheet: a style sheet cuts the list
    // off from the window's palette and its text went black in the dark scheme.
    m_list->viewport()->setAutoFillBackground(false);
    m_list->setAutoFillBackground(false);
    m_list->setContentsMargins(0, 3, 0, 3);
    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) { activate(m_list->row(item)); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_header);
    layout->addWidget(m_empty);
    layout->addWidget(m_list, 1);
    layout->addStretch(0);

    m_reparse.setSingleShot(true);
    m_reparse.setInterval(reparseDelayMs);
    connect(&m_reparse, &QTimer::timeout, this, [this] { setItems(headings(m_text)); });

    applyColors();
    setItems(headings(m_text));
}

void OutlineSidebar::setText(const QString &text)
{
    // Continuous typing keeps postponing the parse: one parse per pause.
    m_text = text;
    m_reparse.start();
}

void OutlineSidebar::setItems(const QList<OutlineEntry> &items)
{
    m_items = items;
    m_list->clear();
    for (const OutlineEntry &entry : items) {
        auto *item = new QListWidgetItem(entry.title, m_list);
        item->setData(levelRole, entry.level);
        item->setToolTip(entry.title);
    }
    m_empty->setVisible(items.isEmpty());
    m_list->setVisible(!items.isEmpty());
    if (auto *layout = qobject_cast<QVBoxLayout *>(this->layout()))
        layout->setStretch(layout->count() - 1, items.isEmpty() ? 1 : 0);
}

void OutlineSidebar::activate(int row)
{
    if (row < 0 || row >= m_items.size())
        return;
    const OutlineEntry &entry = m_items.at(row);
    EditorRequestHub::shared().requestScrollToRange(m_documentID, int(entry.location), int(entry.length));
    int occurrence = 0;
    for (int i = 0; i < row; ++i) {
        if (m_items.at(i).level == entry.level && m_items.at(i).title == entry.title)
            ++occurrence;
    }
    Q_EMIT headingActivated(entry, occurrence, row);
}

namespace {

struct Fence
{
    QChar marker;
    qsizetype length = 0;
};

// Columns of leading spaces and tabs (tabs to the next multiple of four).
int indentColumns(QStringView line, qsizetype *end)
{
    int columns = 0;
    qsizetype i = 0;
    for (; i < line.size(); ++i) {
        if (line.at(i) == QLatin1Char(' '))
            ++columns;
        else if (line.at(i) == QLatin1Char('\t'))
            columns += 4 - columns % 4;
        else
            break;
    }
    *end = i;
    return columns;
}

// A run of three or more backticks or tildes after at most three columns of indent.
std::optional<Fence> fenceAt(QStringView line, bool closing, const Fence &open = {})
{
    qsizetype start = 0;
    if (indentColumns(line, &start) > 3 || start >= line.size())
        return std::nullopt;
    const QChar marker = line.at(start);
    if (marker != QLatin1Char('`') && marker != QLatin1Char('~'))
        return std::nullopt;
    qsizetype end = start;
    while (end < line.size() && line.at(end) == marker)
        ++end;
    const Fence fence{marker, end - start};
    if (fence.length < 3)
        return std::nullopt;
    const QStringView rest = line.mid(end);
    if (closing)
        return fence.marker == open.marker && fence.length >= open.length && rest.trimmed().isEmpty()
                   ? std::optional<Fence>(fence)
                   : std::nullopt;
    // A backtick fence's info string holds no backtick.
    if (marker == QLatin1Char('`') && rest.contains(QLatin1Char('`')))
        return std::nullopt;
    return fence;
}

} // namespace

QList<OutlineEntry> OutlineSidebar::headings(const QString &text)
{
    const QList<OutlineEntry> all = MarkdownToHTML::parseOutline(text);
    if (all.isEmpty())
        return all;
    // The starts and ends of the lines that are code.
    QList<std::pair<qsizetype, qsizetype>> code;
    std::optional<Fence> open;
    bool previousBlank = true;
    bool inIndentedCode = false;
    qsizetype lineStart = 0;
    while (lineStart <= text.size()) {
        qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), lineStart);
        if (lineEnd < 0)
            lineEnd = text.size();
        QStringView line = QStringView(text).mid(lineStart, lineEnd - lineStart);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const bool blank = line.trimmed().isEmpty();
        bool isCode = false;
        if (open) {
            isCode = true;
            if (fenceAt(line, true, *open))
                open.reset();
        } else if (const auto fence = fenceAt(line, false)) {
            open = fence;
            isCode = true;
            inIndentedCode = false;
        } else {
            qsizetype end = 0;
            const bool indented = !blank && indentColumns(line, &end) >= 4;
            // Indented code cannot interrupt a paragraph; blank lines inside it belong to it.
            inIndentedCode = indented ? (inIndentedCode || previousBlank) : (blank && inIndentedCode);
            isCode = indented && inIndentedCode;
        }
        if (isCode)
            code.append({lineStart, lineEnd});
        previousBlank = blank;
        lineStart = lineEnd + 1;
    }
    QList<OutlineEntry> kept;
    for (const OutlineEntry &entry : all) {
        const bool inCode = std::any_of(code.cbegin(), code.cend(), [&entry](const auto &range) {
            return entry.location >= range.first && entry.location <= range.second;
        });
        if (!inCode)
            kept.append(entry);
    }
    return kept;
}

void OutlineSidebar::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColors();
}

void OutlineSidebar::applyColors()
{
    QPalette header = m_header->palette();
    header.setColor(QPalette::WindowText, WindowStyle::tertiary(palette()));
    m_header->setPalette(header);
    QPalette empty = m_empty->palette();
    empty.setColor(QPalette::WindowText, WindowStyle::quaternary(palette()));
    m_empty->setPalette(empty);
}

void OutlineSidebar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), WindowStyle::withAlpha(palette().color(QPalette::Window), 0.5));
}
