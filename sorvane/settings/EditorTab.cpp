#include "EditorTab.h"

#include "SettingBinding.h"
#include "SettingsForm.h"

#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace {

// "`:w`" as <code>:w</code>; everything else escaped as text.
QString codeSpansAsHTML(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('`'));
    QString html;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const bool code = i % 2 == 1 && i + 1 < parts.size();
        const QString escaped = parts.at(i).toHtmlEscaped();
        html += code ? QStringLiteral("<code>%1</code>").arg(escaped) : (i % 2 == 1 ? u'`' + escaped : escaped);
    }
    return html;
}
constexpr int smallestFontSize = 11;
constexpr int largestFontSize = 24;
} // namespace

EditorTab::EditorTab(QWidget *parent)
    : QWidget(parent)
    , m_fontSlider(new QSlider(Qt::Horizontal))
    , m_fontLabel(new QLabel)
{
    auto *page = new QVBoxLayout(this);

    QGroupBox *font = SettingsForm::addSection(page, QStringLiteral("Font"));
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Font Size"), font));
    m_fontSlider->setObjectName(SettingsKeys::fontSize);
    m_fontSlider->setRange(smallestFontSize, largestFontSize);
    m_fontSlider->setSingleStep(1);
    m_fontSlider->setPageStep(1);
    m_fontSlider->setFixedWidth(200);
    row->addWidget(m_fontSlider, 0, Qt::AlignVCenter);
    m_fontLabel->setObjectName(QStringLiteral("fontSizeLabel"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(m_fontLabel->font().pointSizeF());
    m_fontLabel->setFont(mono);
    m_fontLabel->setFixedWidth(40);
    m_fontLabel->setAlignment(Qt::AlignCenter);
    row->addWidget(m_fontLabel, 0, Qt::AlignVCenter);
    row->addStretch(1);
    static_cast<QVBoxLayout *>(font->layout())->addLayout(row);
    showStoredFontSize();
    connect(m_fontSlider, &QSlider::valueChanged, this,
            [](int points) { Settings::shared().setFontSize(double(points)); });

    QGroupBox *editing = SettingsForm::addSection(page, QStringLiteral("Editing"));
    editing->layout()->addWidget(
        SettingBinding::boundSwitch(QStringLiteral("Word wrap"), SettingsKeys::wordWrap, SettingsDefaults::wordWrap, editing));
    editing->layout()->addWidget(SettingBinding::boundSwitch(QStringLiteral("Spell checking"), SettingsKeys::spellCheck,
                                               SettingsDefaults::spellCheck, editing));
    editing->layout()->addWidget(SettingBinding::boundSwitch(QStringLiteral("Syntax highlighting"), SettingsKeys::syntaxHighlight,
                                               SettingsDefaults::syntaxHighlight, editing));

    QGroupBox *vim = SettingsForm::addSection(page, QStringLiteral("Vim mode"));
    vim->layout()->addWidget(SettingBinding::boundSwitch(QStringLiteral("Enable modal Vim editing"), SettingsKeys::vimModeEnabled,
                                           SettingsDefaults::vimModeEnabled, vim));
    // The commands between backticks show as code, without the backticks.
    QLabel *vimNote = SettingsForm::caption(
        QStringLiteral("Modes: Normal, Insert, Visual, Command-line. Escape returns to Normal. Basics supported: "
                       "hjkl motions, w/b/e, 0/$, gg/G, f/t, i/a/I/A/o/O, x/X/D/C, dd/cc/yy, d/c/y + motion, "
                       "u/Ctrl+r, p/P, `.` repeat, `:w`/`:q`/`:wq`."),
        vim);
    vimNote->setTextFormat(Qt::RichText);
    vimNote->setText(codeSpansAsHTML(vimNote->text()));
    vim->layout()->addWidget(vimNote);

    page->addStretch(1);

    connect(&Settings::shared(), &Settings::valueChanged, this, [this](const QString &key) {
        if (key == SettingsKeys::fontSize)
            showStoredFontSize();
    });
}

QString EditorTab::fontSizeText(double points)
{
    return QString::number(qint64(std::trunc(points))) + QStringLiteral("px");
}

void EditorTab::showStoredFontSize()
{
    const double points = Settings::shared().fontSize();
    {
        // A size the menu set outside the slider's range pins the knob to its end.
        const QSignalBlocker blocker(m_fontSlider);
        m_fontSlider->setValue(int(std::trunc(points)));
    }
    m_fontLabel->setText(fontSizeText(points));
}
