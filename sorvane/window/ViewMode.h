#pragma once

// Minimal stand-in until the preview's own ViewMode lands: the layout of a document
// pane. Raw values "Preview", "Editor", "Split" under the setting "preferredViewMode".
enum class ViewMode { preview, editor, split };
