#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
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
    // Beside the text: the style's own symbol, the application's icon, or nothing.
    enum class Icon { ForStyle, Application, None };
    Icon icon = Icon::ForStyle;

    // Something the user asked for failed: critical, with one "OK".
    static AlertRequest failure(const QString &messageText, const QString &informativeText)
    {
        return {messageText, informativeText, {QStringLiteral("OK")}, Style::Critical, QString()};
    }
};

struct FilePanelRequest {
    QString title;
    // Name filters as the file dialog takes them, e.g. "Markdown (*.md *.markdown)".
    QStringList nameFilters;
    // Save panels: the suggested file name; open panels ignore it.
    QString suggestedName;
    // Where the panel opens; empty for the folder last used in a panel (at first, home).
    QString directory;
    bool multipleSelection = false;
    // Save panels: the extension a name typed without it gets ("md", "pdf", "md.enc").
    QString defaultSuffix;
    // Whether a name with some other extension keeps it: Save As takes "notes.txt"
    // as chosen, while an export's "notes.txt" still becomes "notes.txt.pdf".
    bool keepsOtherSuffix = false;
};

// A modal panel that picks one existing folder and no files.
struct FolderPanelRequest {
    QString title;
    // Above the folder list: what the folder is for.
    QString message;
    // The accept button's label.
    QString acceptLabel;
    // Where the panel opens; empty for the folder last used in a panel (at first, home).
    QString directory;
};

// The path a save panel's answer stands for: `path` with request.defaultSuffix added
// unless its name already ends in it (or in its last part, "enc" of "md.enc"), in one
// of the extensions of request.nameFilters or, when the request keeps other
// extensions, in any extension at all.
QString withDefaultSuffix(const QString &path, const FilePanelRequest &request);

// Alerts show at most this many characters of a text and of a path: a name handed
// over on the command line can be megabytes long, and laying that out takes minutes.
constexpr qsizetype maxAlertTextChars = 400;
constexpr qsizetype maxAlertPathChars = 200;

// text when it fits in maxChars, else its start and its end around "…" (so a path
// keeps its top folders and its file name), never splitting a surrogate pair.
QString elidedForAlert(const QString &text, qsizetype maxChars);

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
    AlertPresenter();
    virtual ~AlertPresenter();
    AlertPresenter(const AlertPresenter &) = delete;
    AlertPresenter &operator=(const AlertPresenter &) = delete;

    // Index into request.buttons of the answer, or -1 when the alert was dismissed.
    virtual int runModal(const AlertRequest &request) = 0;
    // The chosen path with the request's default suffix, or nothing when the user
    // cancelled. A request without a directory opens in the folder last used.
    std::optional<QString> chooseSaveFile(const FilePanelRequest &request);
    // Shows an open panel without blocking; the completion receives the chosen paths
    // (empty when cancelled) on the GUI thread.
    void chooseOpenFiles(const FilePanelRequest &request, std::function<void(const QStringList &)> completion);
    // The chosen folder, or nothing when the user cancelled. Returns once the panel
    // has closed.
    std::optional<QString> chooseFolder(const FolderPanelRequest &request);
    // Index into request.items of the chosen action, or -1 when none was chosen.
    // Presenters that show no menus choose nothing.
    virtual int chooseFromMenu(const ChoiceMenuRequest &request);

    // The presenter of this process: widget dialogs unless one was installed.
    static AlertPresenter &shared();
    // Installs a presenter (not owned); nullptr restores the widget dialogs.
    static void setShared(AlertPresenter *presenter);

protected:
    // The panels themselves, asked with the directory already filled in.
    virtual std::optional<QString> presentSaveFile(const FilePanelRequest &request) = 0;
    virtual void presentOpenFiles(const FilePanelRequest &request,
                                  std::function<void(const QStringList &)> completion) = 0;
    // Presenters that show no folder panels choose nothing.
    virtual std::optional<QString> presentChooseFolder(const FolderPanelRequest &request);

private:
    // The folder last used in a panel, at first home.
    QString startFolder() const;

    // Shared with open panels' completions, which may outlive a call.
    std::shared_ptr<QString> m_lastDirectory;
};

// The desktop's own dialogs.
class WidgetAlertPresenter : public AlertPresenter
{
public:
    int runModal(const AlertRequest &request) override;
    int chooseFromMenu(const ChoiceMenuRequest &request) override;

protected:
    std::optional<QString> presentSaveFile(const FilePanelRequest &request) override;
    void presentOpenFiles(const FilePanelRequest &request,
                          std::function<void(const QStringList &)> completion) override;
    std::optional<QString> presentChooseFolder(const FolderPanelRequest &request) override;
};
