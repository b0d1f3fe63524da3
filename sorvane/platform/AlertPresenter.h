#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Modal questions, error alerts and the open and save panels. Services ask through
// this seam so that they never build widgets themselves and tests can answer in
// place of the user.
struct AlertRequest {
    enum class Style { Informational, Warning, Critical };

    QString messageText;
    QString informativeText;
    // In order; the first is the affirmative, default answer.
    QStringList buttons;
    Style style = Style::Informational;
    // Extra detail shown under the text (a full path, for example); empty for none.
    QString accessoryText;
};

struct FilePanelRequest {
    QString title;
    // Name filters as the file dialog takes them, e.g. "Markdown (*.md *.markdown)".
    QStringList nameFilters;
    // Save panels: the suggested file name; open panels ignore it.
    QString suggestedName;
    QString directory;
    bool multipleSelection = false;
};

// A short list of actions to pick from (the share choices), shown as a menu.
struct ChoiceMenuRequest {
    QStringList items;
    // Where the menu drops from, in global coordinates; an empty rectangle means
    // at the mouse pointer.
    QRect anchor;
};

class AlertPresenter
{
public:
    virtual ~AlertPresenter();

    // Index into request.buttons of the answer, or -1 when the alert was dismissed.
    virtual int runModal(const AlertRequest &request) = 0;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<QString> chooseSaveFile(const FilePanelRequest &request) = 0;
    // Shows an open panel without blocking; the completion receives the chosen paths
    // (empty when cancelled) on the GUI thread.
    virtual void chooseOpenFiles(const FilePanelRequest &request,
                                 std::function<void(const QStringList &)> completion) = 0;
    // Index into request.items of the chosen action, or -1 when none was chosen.
    // Presenters that show no menus choose nothing.
    virtual int chooseFromMenu(const ChoiceMenuRequest &request);

    // The presenter of this process: widget dialogs unless one was installed.
    static AlertPresenter &shared();
    // Installs a presenter (not owned); nullptr restores the widget dialogs.
    static void setShared(AlertPresenter *presenter);
};

// The desktop's own dialogs.
class WidgetAlertPresenter : public AlertPresenter
{
public:
    int runModal(const AlertRequest &request) override;
    std::optional<QString> chooseSaveFile(const FilePanelRequest &request) override;
    void chooseOpenFiles(const FilePanelRequest &request,
                         std::function<void(const QStringList &)> completion) override;
    int chooseFromMenu(const ChoiceMenuRequest &request) override;
};
