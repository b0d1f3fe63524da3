#include "SIWAConsentConfirmView.h"

#include "SignupConsentService.h"
#include "TolvernAccountBridge.h"
#include "TolvernSpinner.h"
#include "platform/PlatformConstants.h"
#include "window/SorvaneBrandMark.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

constexpr int kSymbolSize = 20;
constexpr int kSymbolGap = 10;

QColor white(qreal opacity)
{
    QColor color(Qt::white);
    color.setAlphaF(float(opacity));
    return color;
}

QString cssColor(const QColor &color)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alphaF(), 0, 'f', 3);
}

QFont sizedFont(QFont font, int pixelSize, QFont::Weight weight = QFont::Normal)
{
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

// Text styles of the screen, in pixels.
constexpr int kTitleSize = 28;
constexpr int kCalloutSize = 14;
constexpr int kFootnoteSize = 12;
constexpr int kHeadlineSize = 15;

// The terms sentence as rich text: the Markdown's links in the accent colour over
// dimmed white text. Empty when the Markdown yields no links, so the caller falls
// back to the plain sentence.
QString termsRichText(const QString &markdown)
{
    QTextDocument document;
    document.setMarkdown(markdown);
    QString html;
    int links = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextFragment part = fragment.fragment();
            const QString text = part.text().toHtmlEscaped();
            const QTextCharFormat format = part.charFormat();
            if (format.isAnchor() && !format.anchorHref().isEmpty()) {
                ++links;
                html += QStringLiteral("<a href=\"%1\" style=\"color:%2; text-decoration:none;\">%3</a>")
                            .arg(format.anchorHref().toHtmlEscaped(), SIWAConsentConfirmView::accent().name(), text);
            } else {
                html += text;
            }
        }
    }
    if (links == 0)
        return {};
    return QStringLiteral("<span style=\"color:%1;\">%2</span>").arg(cssColor(white(0.68)), html);
}

// The opt-in row: a square symbol, filled and ticked in the accent colour when
// checked, and the wrapping label; the whole row takes the click.
class ConsentCheckRow : public QAbstractButton
{
public:
    explicit ConsentCheckRow(QWidget *parent)
        : QAbstractButton(parent)
    {
        setCursor(Qt::PointingHandCursor);
        setAccessibleName(QString::fromUtf8(SignupConsentService::marketingConsentText));
        auto *layout = new QHBoxLayout(this);
        layout->setContentsMargins(kSymbolSize + kSymbolGap, 0, 0, 0);
        m_label = new QLabel(QString::fromUtf8(SignupConsentService::marketingConsentText), this);
        m_label->setWordWrap(true);
        m_label->setFont(sizedFont(font(), kCalloutSize));
        QPalette palette = m_label->palette();
        palette.setColor(QPalette::WindowText, white(0.92));
        m_label->setPalette(palette);
        m_label->setAttribute(Qt::WA_TransparentForMouseEvents);
        layout->addWidget(m_label, 1);
    }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override
    {
        const QMargins margins = contentsMargins();
        const int text = m_label->heightForWidth(width - margins.left() - margins.right() - kSymbolSize - kSymbolGap);
        return margins.top() + margins.bottom() + qMax(kSymbolSize, text);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        // Level with the label's first line.
        const int firstLine = QFontMetrics(m_label->font()).height();
        const qreal top = contentsMargins().top() + (firstLine - kSymbolSize) / 2.0;
        const QRectF square(contentsMargins().left() + 1.5, top + 1.5, kSymbolSize - 3, kSymbolSize - 3);
        if (isChecked()) {
            QPainterPath box;
            box.addRoundedRect(square, 4, 4);
            painter.fillPath(box, SIWAConsentConfirmView::accent());
            QPainterPath tick;
            tick.moveTo(square.left() + square.width() * 0.24, square.top() + square.height() * 0.52);
            tick.lineTo(square.left() + square.width() * 0.43, square.top() + square.height() * 0.70);
            tick.lineTo(square.left() + square.width() * 0.77, square.top() + square.height() * 0.31);
            painter.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.drawPath(tick);
        } else {
            painter.setPen(QPen(white(0.55), 1.8));
            painter.drawRoundedRect(square, 4, 4);
        }
        if (hasFocus()) {
            painter.setPen(QPen(white(0.35), 1, Qt::DotLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        }
    }

private:
    QLabel *m_label;
};

} // namespace

SIWAConsentConfirmView::SIWAConsentConfirmView(TolvernAccountBridge &bridge, std::function<void()> onContinue,
                                               QWidget *parent)
    : QWidget(parent)
    , m_bridge(bridge)
    , m_onContinue(std::move(onContinue))
    , m_marketingChecked(SignupConsentService::regionDefaultsToOptIn())
{
    // The screen keeps its dark look under a light application palette.
    QPalette dark = palette();
    dark.setColor(QPalette::Window, backdropBottom());
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Button, accent());
    dark.setColor(QPalette::Link, accent());
    dark.setColor(QPalette::Highlight, accent());
    setPalette(dark);

    auto *stack = new QVBoxLayout(this);
    stack->setSpacing(24);
    stack->setContentsMargins(28, 0, 28, 0);
    stack->addStretch(1);

    auto *mark = new SorvaneBrandMark(48, std::nullopt, this);
    stack->addWidget(mark, 0, Qt::AlignHCenter);

    auto *titleLabel = new QLabel(QString::fromUtf8(title), this);
    titleLabel->setObjectName(QStringLiteral("consentTitle"));
    titleLabel->setFont(sizedFont(font(), kTitleSize, QFont::Bold));
    titleLabel->setAlignment(Qt::AlignCenter);
    titleLabel->setWordWrap(true);
    stack->addWidget(titleLabel);

    auto *terms = new QLabel(this);
    terms->setObjectName(QStringLiteral("consentTerms"));
    terms->setFont(sizedFont(font(), kCalloutSize));
    terms->setAlignment(Qt::AlignCenter);
    terms->setWordWrap(true);
    terms->setContentsMargins(12, 0, 12, 0);
    const QString rich = termsRichText(termsMarkdown());
    if (rich.isEmpty()) {
        QPalette dimmed = terms->palette();
        dimmed.setColor(QPalette::WindowText, white(0.68));
        terms->setPalette(dimmed);
        terms->setTextFormat(Qt::PlainText);
        terms->setText(QString::fromUtf8(SignupConsentService::verbatimText));
    } else {
        terms->setTextFormat(Qt::RichText);
        terms->setText(rich);
        terms->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        terms->setOpenExternalLinks(true);
    }
    stack->addWidget(terms);

    m_checkRow = new ConsentCheckRow(this);
    m_checkRow->setObjectName(QStringLiteral("consentMarketing"));
    m_checkRow->setCheckable(true);
    m_checkRow->setChecked(m_marketingChecked);
    m_checkRow->setContentsMargins(0, 4, 0, 0);
    // The row mirrors the view's state; the click only reports the tap.
    connect(m_checkRow, &QAbstractButton::clicked, this, [this] { toggleMarketing(); });
    stack->addWidget(m_checkRow);

    m_errorLabel = new QLabel(this);
    m_errorLabel->setObjectName(QStringLiteral("consentError"));
    m_errorLabel->setFont(sizedFont(font(), kFootnoteSize));
    m_errorLabel->setAlignment(Qt::AlignCenter);
    m_errorLabel->setWordWrap(true);
    QPalette errorPalette = m_errorLabel->palette();
    QColor red(Qt::red);
    red.setAlphaF(0.85f);
    errorPalette.setColor(QPalette::WindowText, red);
    m_errorLabel->setPalette(errorPalette);
    stack->addWidget(m_errorLabel);

    m_button = new QPushButton(this);
    m_button->setObjectName(QStringLiteral("consentContinue"));
    m_button->setMinimumHeight(44);
    m_button->setCursor(Qt::PointingHandCursor);
    m_button->setStyleSheet(QStringLiteral("QPushButton { background: %1; border: none; border-radius: 10px; }"
                                           "QPushButton:hover { background: %2; }"
                                           "QPushButton:pressed { background: %3; }"
                                           "QPushButton:disabled { background: %4; }"
                                           "QLabel { color: white; background: transparent; }")
                                .arg(accent().name(), accent().lighter(112).name(), accent().darker(115).name(),
                                     cssColor(QColor(accent().red(), accent().green(), accent().blue(), 140))));
    auto *buttonRow = new QHBoxLayout(m_button);
    buttonRow->setContentsMargins(12, 0, 12, 0);
    buttonRow->setSpacing(8);
    buttonRow->addStretch(1);
    m_spinner = new TolvernSpinner(14, Qt::white, m_button);
    buttonRow->addWidget(m_spinner);
    m_buttonLabel = new QLabel(m_button);
    m_buttonLabel->setFont(sizedFont(font(), kHeadlineSize, QFont::DemiBold));
    m_buttonLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    buttonRow->addWidget(m_buttonLabel);
    buttonRow->addStretch(1);
    connect(m_button, &QPushButton::clicked, this, [this] { continueTapped(); });
    stack->addWidget(m_button);

    stack->addStretch(1);
    refresh();
}

SIWAConsentConfirmView::~SIWAConsentConfirmView() = default;

QString SIWAConsentConfirmView::termsMarkdown()
{
    return QStringLiteral("By creating an account you agree to the [Terms of Service](%1) and [Privacy Policy](%2)")
        .arg(termsURL().toString(), privacyURL().toString());
}

QUrl SIWAConsentConfirmView::termsURL()
{
    return QUrl(QString::fromLatin1(PlatformConstants::website) + QStringLiteral("/terms/sorvane"));
}

QUrl SIWAConsentConfirmView::privacyURL()
{
    return QUrl(QString::fromLatin1(PlatformConstants::website) + QStringLiteral("/privacy/sorvane"));
}

QColor SIWAConsentConfirmView::accent()
{
    return QColor(38, 133, 89);
}

QColor SIWAConsentConfirmView::backdropTop()
{
    return QColor::fromRgbF(0.05f, 0.2f, 0.14f);
}

QColor SIWAConsentConfirmView::backdropBottom()
{
    return QColor::fromRgbF(0.03f, 0.07f, 0.06f);
}

void SIWAConsentConfirmView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QLinearGradient backdrop(rect().topLeft(), rect().bottomRight());
    backdrop.setColorAt(0, backdropTop());
    backdrop.setColorAt(1, backdropBottom());
    painter.fillRect(rect(), backdrop);
}

void SIWAConsentConfirmView::toggleMarketing()
{
    m_touched = true;
    m_marketingChecked = !m_marketingChecked;
    refresh();
    Q_EMIT marketingCheckedChanged();
}

void SIWAConsentConfirmView::continueTapped()
{
    if (m_submitting)
        return;
    m_consentError.reset();
    setSubmitting(true);
    submit(QPointer<SIWAConsentConfirmView>(this), &m_bridge, m_marketingChecked, m_touched);
}

QCoro::Task<void> SIWAConsentConfirmView::submit(QPointer<SIWAConsentConfirmView> view, TolvernAccountBridge *bridge,
                                                 bool marketingChecked, bool touched)
{
    auto task = SignupConsentService::submit(*bridge, marketingChecked, touched);
    const bool accepted = co_await std::move(task);
    // The host may have closed the screen meanwhile.
    if (!view)
        co_return;
    if (!accepted)
        view->m_consentError = QString::fromUtf8(errorText);
    view->setSubmitting(false);
    if (accepted && view->m_onContinue)
        view->m_onContinue();
}

void SIWAConsentConfirmView::setSubmitting(bool submitting)
{
    const bool changed = m_submitting != submitting;
    m_submitting = submitting;
    refresh();
    if (changed)
        Q_EMIT submittingChanged();
}

void SIWAConsentConfirmView::refresh()
{
    m_checkRow->setChecked(m_marketingChecked);
    m_errorLabel->setVisible(m_consentError.has_value());
    m_errorLabel->setText(m_consentError.value_or(QString()));
    const QString text = QString::fromUtf8(m_consentError ? retryText : continueText);
    m_buttonLabel->setText(text);
    m_button->setAccessibleName(text);
    m_button->setEnabled(!m_submitting);
    m_spinner->setVisible(m_submitting);
    // Re-centre the label at once, not at the next layout pass.
    m_button->layout()->activate();
}
