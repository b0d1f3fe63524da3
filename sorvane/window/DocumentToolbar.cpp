#include "DocumentToolbar.h"

#include "DocumentContentView.h"
#include "GlyphButton.h"
#include "WindowStyle.h"
#include "documents/DocumentManager.h"
#include "export/DocumentExportCommands.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>

#include <cmath>

namespace {

// A group of buttons on one rounded plate, as a segmented control.
class SegmentPlate : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath plate;
        plate.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
        painter.fillPath(plate, palette().color(QPalette::Button));
        painter.setPen(QPen(WindowStyle::withAlpha(WindowStyle::primary(palette()), 0.1), 1));
        painter.drawPath(plate);
    }
};

// The formatting buttons in a row that gives way when the window is narrow: the
// buttons that do not fit are hidden from the end, instead of being squeezed on top
// of each other. Its preferred width is always that of all buttons, so they come
// back as the window grows.
class FormattingStrip : public QWidget
{
public:
    static constexpr int spacing = 2;
    static constexpr int dividerGap = 6;

    using QWidget::QWidget;

    void addButton(QWidget *button) { m_buttons.append(button); }
    void setDivider(QWidget *divider) { m_divider = divider; }

    QSize sizeHint() const override { return {fullWidth(), 24}; }
    QSize minimumSizeHint() const override { return {0, 24}; }

protected:
    void resizeEvent(QResizeEvent *) override
    {
        const int dividerWidth = m_divider ? dividerGap + m_divider->width() : 0;
        int x = 0;
        for (QWidget *button : std::as_const(m_buttons)) {
            const bool fits = x + button->width() + dividerWidth <= width();
            button->setVisible(fits);
            if (!fits)
                continue;
            button->move(x, (height() - button->height()) / 2);
            x += button->width() + spacing;
        }
        if (m_divider)
            m_divider->move(qMax(0, x - spacing) + dividerGap, (height() - m_divider->height()) / 2);
    }

private:
    int fullWidth() const
    {
        int width = 0;
        for (const QWidget *button : m_buttons)
            width += button->width() + spacing;
        width = qMax(0, width - spacing);
        return m_divider ? width + dividerGap + m_divider->width() : width;
    }

    QList<QWidget *> m_buttons;
    QWidget *m_divider = nullptr;
};

QWidget *verticalDivider(QWidget *parent)
{
    auto *divider = new QWidget(parent);
    divider->setFixedSize(1, 16);
    divider->setAutoFillBackground(true);
    divider->setBackgroundRole(QPalette::Mid);
    return divider;
}

} // namespace

DocumentToolbar::DocumentToolbar(DocumentManager &manager, QWidget *parent)
    : QWidget(parent)
    , m_manager(manager)
    , m_formatting(new FormattingStrip(this))
    , m_workspace(new GlyphButton(GlyphButton::Glyph::sidebar, this))
    , m_outline(new GlyphButton(GlyphButton::Glyph::outline, this))
    , m_decrease(new GlyphButton(QStringLiteral("A"), WindowStyle::font(11, QFont::Medium), this))
    , m_increase(new GlyphButton(QStringLiteral("A"), WindowStyle::font(15, QFont::Medium), this))
    , m_sizeLabel(new QLabel(this))
    , m_wordCount(new QLabel(this))
    , m_copy(new GlyphButton(GlyphButton::Glyph::copy, this))
    , m_copyMenu(new QMenu(this))
    , m_share(new GlyphButton(GlyphButton::Glyph::share, this))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(16, 8, 16, 8);
    row->setSpacing(8);

    // 1. View mode.
    auto *modes = new SegmentPlate(this);
    modes->setFixedSize(240, 24);
    auto *modesLayout = new QHBoxLayout(modes);
    modesLayout->setContentsMargins(1, 1, 1, 1);
    modesLayout->setSpacing(0);
    const QList<std::pair<ViewMode, QString>> modeNames{
        {ViewMode::Preview, QStringLiteral("Preview")},
        {ViewMode::Editor, QStringLiteral("Editor")},
        {ViewMode::Split, QStringLiteral("Split")},
    };
    for (const auto &[mode, name] : modeNames) {
        auto *button = new GlyphButton(name, WindowStyle::font(12, QFont::Medium), modes);
        button->setFixedSize(238 / 3, 22);
        button->setHighlightBackground(0.2);
        button->setAccessibleName(name);
        connect(button, &GlyphButton::clicked, this, [mode] { DocumentContentView::setStoredViewMode(mode); });
        modesLayout->addWidget(button);
        m_viewModes.append(button);
    }
    row->addWidget(modes);
    row->addWidget(verticalDivider(this));

    // 2. Formatting, only while the editor is on screen.
    auto *strip = static_cast<FormattingStrip *>(m_formatting);
    using G = GlyphButton::Glyph;
    const auto heading = [&](const QString &label, MarkdownFormatAction action, const QString &tip) {
        strip->addButton(addFormatButton(new GlyphButton(label, WindowStyle::font(11, QFont::DemiBold), m_formatting), action, tip));
    };
    const auto glyph = [&](G g, MarkdownFormatAction action, const QString &tip) {
        strip->addButton(addFormatButton(new GlyphButton(g, m_formatting), action, tip));
    };
    heading(QStringLiteral("H1"), MarkdownFormatAction::heading1, QStringLiteral("Heading 1"));
    heading(QStringLiteral("H2"), MarkdownFormatAction::heading2, QStringLiteral("Heading 2"));
    heading(QStringLiteral("H3"), MarkdownFormatAction::heading3, QStringLiteral("Heading 3"));
    strip->addButton(addFormatButton(new GlyphButton(QStringLiteral("B"), WindowStyle::font(14, QFont::Bold), m_formatting),
                                            MarkdownFormatAction::bold, QStringLiteral("Bold (Ctrl+B)")));
    QFont italic = WindowStyle::font(14, QFont::Normal);
    italic.setItalic(true);
    italic.setFamily(QStringLiteral("serif"));
    strip->addButton(addFormatButton(new GlyphButton(QStringLiteral("I"), italic, m_formatting),
                                            MarkdownFormatAction::italic, QStringLiteral("Italic (Ctrl+I)")));
    glyph(G::inlineCode, MarkdownFormatAction::code, QStringLiteral("Inline code"));
    glyph(G::codeBlock, MarkdownFormatAction::codeBlock, QStringLiteral("Code block"));
    glyph(G::link, MarkdownFormatAction::link, QStringLiteral("Link (Ctrl+K)"));
    glyph(G::quote, MarkdownFormatAction::blockquote, QStringLiteral("Blockquote"));
    glyph(G::bulletList, MarkdownFormatAction::bulletList, QStringLiteral("Bullet list"));
    glyph(G::numberedList, MarkdownFormatAction::numberedList, QStringLiteral("Numbered list"));
    glyph(G::taskList, MarkdownFormatAction::taskList, QStringLiteral("Task list"));
    glyph(G::horizontalRule, MarkdownFormatAction::horizontalRule, QStringLiteral("Horizontal rule"));
    glyph(G::table, MarkdownFormatAction::table, QStringLiteral("Insert table"));
    strip->setDivider(verticalDivider(m_formatting));
    row->addWidget(m_formatting);

    // 3. The workspace and outline toggles.
    m_workspace->setToolTip(QStringLiteral("Toggle AI workspace (Ctrl+Alt+0)"));
    m_workspace->setAccessibleName(QStringLiteral("Toggle AI workspace"));
    m_workspace->hide();
    connect(m_workspace, &GlyphButton::clicked, this, [] {
        Settings &settings = Settings::shared();
        settings.setValue(SettingsKeys::showWorkspace, !settings.showWorkspace());
    });
    row->addWidget(m_workspace);
    m_outline->setToolTip(QStringLiteral("Toggle Outline"));
    m_outline->setAccessibleName(QStringLiteral("Toggle Outline"));
    connect(m_outline, &GlyphButton::clicked, this, [] {
        Settings &settings = Settings::shared();
        settings.setShowOutline(!settings.showOutline());
    });
    row->addWidget(m_outline);

    // 4. Copy menu and share.
    m_copy->setFont(WindowStyle::font(12, QFont::Medium));
    m_copy->setFixedHeight(24);
    m_copy->setToolTip(QStringLiteral("Copy formatted \u2014 paste into Google Docs, email, and more"));
    m_copy->setAccessibleName(QStringLiteral("Copy"));
    QAction *richText = m_copyMenu->addAction(QStringLiteral("Copy as Rich Text"));
    connect(richText, &QAction::triggered, this, [this] { copy(true); });
    QAction *html = m_copyMenu->addAction(QStringLiteral("Copy as HTML"));
    connect(html, &QAction::triggered, this, [this] { copy(false); });
    connect(m_copy, &GlyphButton::clicked, this, [this] {
        m_copyMenu->popup(m_copy->mapToGlobal(QPoint(0, m_copy->height() + 2)));
    });
    setShowCopied(false);
    row->addWidget(m_copy);
    m_share->setToolTip(QStringLiteral("Share"));
    m_share->setAccessibleName(QStringLiteral("Share"));
    // The choices open under the button rather than in the middle of the window.
    connect(m_share, &GlyphButton::clicked, this, [this] {
        if (m_exports)
            m_exports->shareCurrentDocument(m_share);
    });
    row->addWidget(m_share);
    row->addStretch(1);

    // 5. Text size.
    auto *sizeRow = new QHBoxLayout;
    sizeRow->setSpacing(6);
    m_decrease->setFixedSize(18, 18);
    m_increase->setFixedSize(18, 18);
    m_decrease->setToolTip(QStringLiteral("Decrease text size"));
    m_increase->setToolTip(QStringLiteral("Increase text size"));
    m_sizeLabel->setFont(WindowStyle::font(11));
    m_sizeLabel->setFixedWidth(18);
    m_sizeLabel->setAlignment(Qt::AlignCenter);
    connect(m_decrease, &GlyphButton::clicked, this, [] {
        Settings &settings = Settings::shared();
        settings.setFontSize(std::max(settings.fontSize() - 1.0, minimumFontSize));
    });
    connect(m_increase, &GlyphButton::clicked, this, [] {
        Settings &settings = Settings::shared();
        settings.setFontSize(std::min(settings.fontSize() + 1.0, maximumFontSize));
    });
    sizeRow->addWidget(m_decrease);
    sizeRow->addWidget(m_sizeLabel);
    sizeRow->addWidget(m_increase);
    row->addLayout(sizeRow);
    row->addWidget(verticalDivider(this));

    // 6. Appearance.
    auto *appearance = new SegmentPlate(this);
    appearance->setFixedSize(100, 24);
    auto *appearanceLayout = new QHBoxLayout(appearance);
    appearanceLayout->setContentsMargins(5, 1, 5, 1);
    appearanceLayout->setSpacing(0);
    const QList<std::pair<G, QString>> schemes{
        {G::autoScheme, QStringLiteral("Auto")},
        {G::lightScheme, QStringLiteral("Light")},
        {G::darkScheme, QStringLiteral("Dark")},
    };
    for (const auto &[g, name] : schemes) {
        auto *button = new GlyphButton(g, appearance);
        button->setFixedSize(30, 22);
        button->setGlyphSize(13);
        button->setHighlightBackground(0.2);
        button->setToolTip(name);
        button->setAccessibleName(name);
        connect(button, &GlyphButton::clicked, this, [name] { Settings::shared().setAppearanceMode(name); });
        appearanceLayout->addWidget(button);
        m_appearance.append(button);
    }
    row->addWidget(appearance);

    // 7. Word count.
    QFont mono = WindowStyle::font(11);
    mono.setFamily(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::Monospace);
    m_wordCount->setFont(mono);
    row->addWidget(m_wordCount);
    setWordCount(0);

    connect(&Settings::shared(), &Settings::valueChanged, this, &DocumentToolbar::refresh);
    refresh(QString());
    applyColors();
}

GlyphButton *DocumentToolbar::addFormatButton(GlyphButton *button, MarkdownFormatAction action, const QString &tooltip)
{
    button->setToolTip(tooltip);
    button->setAccessibleName(tooltip);
    // The request names the selected document, whichever view has the focus.
    connect(button, &GlyphButton::clicked, this, [this, action] { m_manager.requestFormatting(action); });
    m_formatButtons.append(button);
    return button;
}

void DocumentToolbar::setWorkspaceToggleShown(bool shown)
{
    m_workspace->setVisible(shown);
}

void DocumentToolbar::setExportCommands(DocumentExportCommands *commands)
{
    m_exports = commands;
}

void DocumentToolbar::copy(bool richText)
{
    if (m_exports && m_exports->copyCurrentPage(richText, QStringLiteral("toolbar")))
        flashCopied();
}

void DocumentToolbar::flashCopied()
{
    // Each copy schedules its own reset; a later copy does not extend an earlier one.
    setShowCopied(true);
    QTimer::singleShot(copiedFlashMs, this, [this] { setShowCopied(false); });
}

void DocumentToolbar::setShowCopied(bool on)
{
    m_showCopied = on;
    m_copy->setGlyphAndText(on ? GlyphButton::Glyph::checkmark : GlyphButton::Glyph::copy,
                            on ? QStringLiteral("Copied") : QStringLiteral("Copy"));
    applyColors();
}

GlyphButton *DocumentToolbar::viewModeButton(ViewMode mode) const
{
    switch (mode) {
    case ViewMode::Preview:
        return m_viewModes.at(0);
    case ViewMode::Editor:
        return m_viewModes.at(1);
    case ViewMode::Split:
        return m_viewModes.at(2);
    }
    return nullptr;
}

void DocumentToolbar::setWordCount(int count)
{
    m_wordCount->setText(QString::number(count) + QStringLiteral(" words"));
}

void DocumentToolbar::refresh(const QString &key)
{
    const Settings &settings = Settings::shared();
    const bool all = key.isEmpty();
    if (all || key == SettingsKeys::preferredViewMode) {
        const ViewMode mode = DocumentContentView::storedViewMode();
        for (ViewMode each : {ViewMode::Preview, ViewMode::Editor, ViewMode::Split})
            viewModeButton(each)->setHighlighted(each == mode);
        m_formatting->setVisible(mode != ViewMode::Preview);
    }
    if (all || key == SettingsKeys::showOutline)
        m_outline->setHighlighted(settings.showOutline());
    if (all || key == SettingsKeys::showWorkspace)
        m_workspace->setHighlighted(settings.showWorkspace());
    if (all || key == SettingsKeys::fontSize) {
        const double size = settings.fontSize();
        m_sizeLabel->setText(QString::number(static_cast<long long>(std::trunc(size))));
        m_decrease->setEnabled(size > minimumFontSize);
        m_increase->setEnabled(size < maximumFontSize);
    }
    if (all || key == SettingsKeys::appearanceMode) {
        const QString stored = DocumentContentView::storedAppearance();
        for (GlyphButton *button : std::as_const(m_appearance))
            button->setHighlighted(button->accessibleName() == stored);
    }
}

void DocumentToolbar::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColors();
}

void DocumentToolbar::applyColors()
{
    const auto tint = [this](QLabel *label, const QColor &color) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, color);
        label->setPalette(pal);
    };
    tint(m_sizeLabel, WindowStyle::secondary(palette()));
    tint(m_wordCount, WindowStyle::tertiary(palette()));
    const QColor letters = WindowStyle::withAlpha(WindowStyle::primary(palette()), 0.6);
    m_decrease->setForeground(letters);
    m_increase->setForeground(letters);
    m_copy->setForeground(m_showCopied ? WindowStyle::green(palette()) : WindowStyle::secondary(palette()));
    const QColor menuGlyph = WindowStyle::primary(m_copyMenu->palette());
    const QList<QAction *> entries = m_copyMenu->actions();
    if (entries.size() != 2)
        return;
    entries.at(0)->setIcon(GlyphButton::icon(GlyphButton::Glyph::richText, menuGlyph));
    entries.at(1)->setIcon(GlyphButton::icon(GlyphButton::Glyph::inlineCode, menuGlyph));
}

void DocumentToolbar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), WindowStyle::barBackground(palette()));
}
