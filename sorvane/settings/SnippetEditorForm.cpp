#include "SnippetEditorForm.h"

#include "SettingsForm.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {
QFont monospaced(double points)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(points);
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
    // A faint outline in the text colour, whichever palette the window has.
    QColor outline = palette().color(QPalette::WindowText);
    outline.setAlphaF(0.15);
    m_body->setStyleSheet(QStringLiteral("QPlainTextEdit { border: 1px solid rgba(%1, %2, %3, %4); border-radius: 6px; }")
                              .arg(outline.red())
                              .arg(outline.green())
                              .arg(outline.blue())
                              .arg(outline.alphaF()));
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

void SnippetEditorForm::setSnippet(const Snippet &snippet)
{
    m_loading = true;
    m_snippet = snippet;
    m_name->setText(snippet.name);
    m_trigger->setText(snippet.trigger);
    m_body->setPlainText(snippet.body);
    m_loading = false;
}
