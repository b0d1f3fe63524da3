#pragma once

#include <QString>

// The user's extra CSS for the themed copies: the text of "custom.css" in the
// support folder while "sorvane.useCustomCSS" is on, else nothing. Composed the
// way the theme service composes it, so the copies look like the preview.
namespace ExportStyle {

QString extraCSS();

} // namespace ExportStyle
