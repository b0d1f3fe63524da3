#pragma once

#include <QObject>

// What the window's views need of the AI workspace without knowing it: whether a
// root folder is chosen, and the modal folder picker. The shell hands one to the
// empty state once the workspace exists.
class WorkspaceRootFolder : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool hasRootFolder() const = 0;
    // Runs the modal folder picker; returns once it has closed (chosen or cancelled).
    virtual void chooseRootFolder() = 0;

Q_SIGNALS:
    void rootFolderChanged();
};
