#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;

// The switch that lets an outside MCP server write to open documents. The choice is
// stored under "sorvane.mcp.writeMode" and mirrored into "mcp-flags.json" in the
// support folder, which that server reads: {"writeMode", "updatedAt"}.
// The file is rewritten each time the switch comes on screen and each time the
// setting changes. It fails closed: when read-only cannot be written, the old file is
// removed, since no file means read-only.
class MCPWriteModeToggle : public QWidget
{
    Q_OBJECT
public:
    explicit MCPWriteModeToggle(QWidget *parent = nullptr);

    static QString flagFilePath();
    // Writes the file whole and atomically; false (and a "persist" warning in the
    // log) when it could not.
    static bool writeSharedFlag(bool enabled);
    // At launch, before any window: a file that does not parse or disagrees with the
    // stored setting is rewritten. No file stays no file.
    static void reconcileAtLaunch();

    // True while the last write of this switch failed.
    bool isWarningShown() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void persist(bool enabled);

    QCheckBox *m_switch;
    QLabel *m_warning;
};
