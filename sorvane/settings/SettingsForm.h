#pragma once

#include <QString>
#include <QUrl>

class QGroupBox;
class QLabel;
class QScrollArea;
class QVBoxLayout;
class QWidget;

// The building blocks the settings tabs share: titled sections, the small grey notes
// under a control, links to the maker's site and the scrolling page a tab sits in.
namespace SettingsForm {

// A titled group with a vertical layout, appended to `layout`.
QGroupBox *addSection(QVBoxLayout *layout, const QString &title);
// A wrapped note in a smaller font and the secondary text colour.
QLabel *caption(const QString &text, QWidget *parent);
// A link label that opens `url` in the browser.
QLabel *link(const QString &text, const QUrl &url, QWidget *parent);
// A page of the maker's web site: the site constant followed by `pathAndQuery`.
QUrl siteURL(const QString &pathAndQuery);
// Wraps a tab's content so that content taller than the window scrolls.
QScrollArea *scrolling(QWidget *content);

} // namespace SettingsForm
