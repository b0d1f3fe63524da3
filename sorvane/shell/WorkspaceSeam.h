#pragma once

class DocumentManager;

// What start-up needs of the workspace navigators (AI workspace, folder search,
// Quick Open). Does nothing until the workspace is built; its issue fills it in.
class WorkspaceSeam
{
public:
    virtual ~WorkspaceSeam() = default;
    // After launch: the folder search opens its hits through this manager (held weakly).
    virtual void attachDocumentManager(DocumentManager *manager) { (void)manager; }
};
