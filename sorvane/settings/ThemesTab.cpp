#include "ThemesTab.h"

#include "preview/ThemeService.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

ThemesTab::ThemesTab(QWidget *parent)
    : QWidget(parent)
{
    ThemeService &themes = ThemeService::shared();

    auto *themesGroup = new QGroupBox(tr("Themes"), this);
    auto *themesForm = new QFormLayout(themesGroup);
    m_picker = new QComboBox(themesGroup);
    m_picker->setObjectName(QStringLiteral("themePicker"));
    m_picker->addItem(tr("None (use default from General)"), QString());
    for (ThemeService::ProTheme theme : ThemeService::allProThemes()) {
        const QString raw = ThemeService::proThemeRawValue(theme);
        m_picker->addItem(raw, raw);
    }
    themesForm->addRow(tr("Theme"), m_picker);

    auto *cssGroup = new QGroupBox(tr("Custom CSS"), this);
    auto *cssLayout = new QVBoxLayout(cssGroup);
    m_switch = new QCheckBox(tr("Apply custom CSS on top of the preview theme"), cssGroup);
    m_switch->setObjectName(QStringLiteral("customCSSSwitch"));
    cssLayout->addWidget(m_switch);

    m_editor = new QPlainTextEdit(cssGroup);
    m_editor->setObjectName(QStringLiteral("cssEditor"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(12);
    m_editor->setFont(mono);
    m_editor->setMinimumHeight(200);
    m_editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_editor->setTabChangesFocus(false);
    outlineEditor();
    cssLayout->addWidget(m_editor, 1);

    auto *fileRow = new QHBoxLayout;
    m_showFile = new QPushButton(tr("Show custom.css in File Manager"), cssGroup);
    m_showFile->setObjectName(QStringLiteral("showCustomCSS"));
    m_path = new QLabel(cssGroup);
    m_path->setObjectName(QStringLiteral("customCSSPath"));
    m_path->setToolTip(ThemeService::customCSSPath());
    m_path->setTextInteractionFlags(Qt::NoTextInteraction);
    QFont small = m_path->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_path->setFont(small);
    m_path->setForegroundRole(QPalette::PlaceholderText);
    m_path->setMinimumWidth(40);
    m_path->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_path->installEventFilter(this);
    fileRow->addWidget(m_showFile);
    fileRow->addWidget(m_path, 1);
    cssLayout->addLayout(fileRow);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(themesGroup);
    layout->addWidget(cssGroup, 1);

    syncFromService();
    elidePath();

    connect(m_picker, &QComboBox::activated, this,
            [this](int row) { ThemeService::shared().setSelectedProThemeRaw(m_picker->itemData(row).toString()); });
    connect(m_switch, &QCheckBox::toggled, this, [](bool on) {
        if (ThemeService::shared().useCustomCSS() != on)
            ThemeService::shared().setUseCustomCSS(on);
    });
    connect(m_editor, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = m_editor->toPlainText();
        if (ThemeService::shared().customCSS() != text)
            ThemeService::shared().setCustomCSS(text);
    });
    connect(m_showFile, &QPushButton::clicked, this, [] { ThemeService::shared().revealCustomCSSInFinder(); });

    connect(&themes, &ThemeService::changed, this, &ThemesTab::syncFromService);
}

void ThemesTab::syncFromService()
{
    const ThemeService &themes = ThemeService::shared();
    // An unknown stored name highlights no row rather than pretending to be one.
    const int row = m_picker->findData(themes.selectedProThemeRaw());
    if (m_picker->currentIndex() != row)
        m_picker->setCurrentIndex(row);
    if (m_switch->isChecked() != themes.useCustomCSS()) {
        const QSignalBlocker blocker(m_switch);
        m_switch->setChecked(themes.useCustomCSS());
    }
    // Only a change from elsewhere replaces the text; the editor's own edits
    // already match and keep their cursor and undo history.
    if (m_editor->toPlainText() != themes.customCSS()) {
        const QSignalBlocker blocker(m_editor);
        m_editor->setPlainText(themes.customCSS());
    }
}

void ThemesTab::outlineEditor()
{
    // A faint rounded outline in the text colour, worked out again for each palette.
    const QColor line = palette().color(QPalette::WindowText);
    m_editor->setStyleSheet(QStringLiteral("QPlainTextEdit#cssEditor { border: 1px solid rgba(%1, %2, %3, 38); "
                                           "border-radius: 6px; padding: 2px; }")
                                .arg(line.red())
                                .arg(line.green())
                                .arg(line.blue()));
}

void ThemesTab::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_editor)
        outlineEditor();
}

void ThemesTab::elidePath()
{
    const QString path = ThemeService::customCSSPath();
    m_path->setText(m_path->fontMetrics().elidedText(path, Qt::ElideMiddle, qMax(0, m_path->width())));
}

bool ThemesTab::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_path && event->type() == QEvent::Resize)
        elidePath();
    return QWidget::eventFilter(watched, event);
}

void ThemesTab::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // The settings window is closing (or the tab is left): what was typed lands now.
    ThemeService::shared().flushPendingSave();
}
