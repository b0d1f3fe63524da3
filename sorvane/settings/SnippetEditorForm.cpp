#include "SnippetEditorForm.h"

#include "SettingsForm.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {
// Sizes in logical pixels, the unit the other settings texts are measured in.
QFont monospaced(int pixels)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixels);
    return font;
}
} // namespace

SnippetEditorForm::SnippetEditorForm(QWidget *parent)
    : QWidget(parent)
    , m_name(new QLineEdit)
    , m_trigger(new QLineEdit)
    , m_body(new QPlainTextEdit)
{
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);

    QGroupBox *about = SettingsForm::addSection(page, QStringLiteral("Snippet"));
    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("Name"), m_name);
    m_trigger->setFont(monospaced(13));
    fields->addRow(QStringLiteral("Trigger"), m_trigger);
    static_cast<QVBoxLayout *>(about->layout())->addLayout(fields);

    QGroupBox *body = SettingsForm::addSection(page, QStringLiteral("Body"));
    m_body->setFont(monospaced(12));
    m_body->setMinimumHeight(180);
    m_body->setTabChangesFocus(false);
    applyOutline();
    body->layout()->addWidget(m_body);

    QGroupBox *placeholders = SettingsForm::addSection(page, QStringLiteral("Placeholders"));
    QLabel *note = SettingsForm::caption(QString(), placeholders);
    note->setTextFormat(Qt::RichText);
    note->setText(QStringLiteral("Use <code>{{date}}</code>, <code>{{time}}</code>, <code>{{datetime}}</code>, "
                                 "<code>{{cursor}}</code> in the body. Expand in editor by typing the trigger and "
                                 "pressing Tab."));
    placeholders->layout()->addWidget(note);
    page->addStretch(1);

    connect(m_name, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_snippet.name = text;
        Q_EMIT edited(m_snippet);
    });
    connect(m_trigger, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_snippet.trigger = text;
        Q_EMIT edited(m_snippet);
    });
    // QPlainTextEdit reports programmatic changes too, hence the loading flag.
    connect(m_body, &QPlainTextEdit::textChanged, this, [this] {
        if (m_loading)
            return;
        m_snippet.body = m_body->toPlainText();
        Q_EMIT edited(m_snippet);
    });
    connect(m_name, &QLineEdit::returnPressed, this, [this] { Q_EMIT edited(m_snippet); });
    connect(m_trigger, &QLineEdit::returnPressed, this, [this] { Q_EMIT edited(m_snippet); });
}

void SnippetEditorForm::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyOutline();
}

// A faint rounded outline in the text colour. A style sheet does not follow the
// window's palette by itself, so the colours are written in and renewed with it.
void SnippetEditorForm::applyOutline()
{
    const QPalette colors = palette();
    QColor outline = colors.color(QPalette::WindowText);
    outline.setAlphaF(0.15);
    m_body->setStyleSheet(QStringLiteral("QPlainTextEdit { background: %1; color: %2; "
                                         "border: 1px solid rgba(%3, %4, %5, 0.15); border-radius: 6px; }")
                              .arg(colors.color(QPalette::Base).name(), colors.color(QPalette::Text).name())
                              .arg(outline.red())
                              .arg(outline.green())
                              .arg(outline.blue()));
}

void SnippetEditorForm::setSnippet(const Snippet &snippet)
{
    m_loading = true;
    m_snippet = snippet;
    m_name->setText(snippet.name);
    m_trigger->setText(snippet.trigger);
    m_body->setPlainText(snippet.body);
    m_loading = false;
}
