#pragma once

#include "platform/AlertPresenter.h"

#include <QList>
#include <QStringList>

#include <optional>

// Answers alerts and panels in place of the user, in the order scripted, and keeps
// what was asked. Installed as the shared presenter for its lifetime. An alert with
// no scripted answer counts as dismissed (-1); a save panel without one is cancelled.
class ScriptedAlertPresenter : public AlertPresenter
{
public:
    ScriptedAlertPresenter() { AlertPresenter::setShared(this); }
    ~ScriptedAlertPresenter() override { AlertPresenter::setShared(nullptr); }

    QList<int> alertAnswers;
    QList<std::optional<QString>> saveAnswers;
    QList<QStringList> openAnswers;
    QList<int> menuAnswers;
    QList<std::optional<QString>> folderAnswers;

    QList<AlertRequest> alerts;
    QList<FilePanelRequest> savePanels;
    QList<FilePanelRequest> openPanels;
    QList<ChoiceMenuRequest> menus;
    QList<FolderPanelRequest> folderPanels;

    int runModal(const AlertRequest &request) override
    {
        alerts.append(request);
        return alertAnswers.isEmpty() ? -1 : alertAnswers.takeFirst();
    }

    int chooseFromMenu(const ChoiceMenuRequest &request) override
    {
        menus.append(request);
        return menuAnswers.isEmpty() ? -1 : menuAnswers.takeFirst();
    }

protected:
    // The requests as the panel sees them, with the presenter's folder filled in.
    std::optional<QString> presentSaveFile(const FilePanelRequest &request) override
    {
        savePanels.append(request);
        return saveAnswers.isEmpty() ? std::nullopt : saveAnswers.takeFirst();
    }

    void presentOpenFiles(const FilePanelRequest &request,
                          std::function<void(const QStringList &)> completion) override
    {
        openPanels.append(request);
        completion(openAnswers.isEmpty() ? QStringList() : openAnswers.takeFirst());
    }

    std::optional<QString> presentChooseFolder(const FolderPanelRequest &request) override
    {
        folderPanels.append(request);
        return folderAnswers.isEmpty() ? std::nullopt : folderAnswers.takeFirst();
    }
};
