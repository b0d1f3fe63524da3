#pragma once

#include "AccountIntegrationSeam.h"
#include "AccountLibrarySeam.h"
#include "DiagnosticsSeam.h"
#include "WorkspaceSeam.h"

// The subsystems start-up calls into before they exist. Each pointer left empty is
// filled with its do-nothing default; the objects are not owned.
struct LaunchSeams {
    WorkspaceSeam *workspace = nullptr;
    DiagnosticsSeam *diagnostics = nullptr;
    AccountLibrarySeam *accountLibrary = nullptr;
    AccountIntegrationSeam *accountIntegration = nullptr;

    LaunchSeams withDefaults() const
    {
        static WorkspaceSeam noWorkspace;
        static DiagnosticsSeam noDiagnostics;
        static AccountLibrarySeam noAccountLibrary;
        static AccountIntegrationSeam noAccountIntegration;
        LaunchSeams filled = *this;
        if (!filled.workspace)
            filled.workspace = &noWorkspace;
        if (!filled.diagnostics)
            filled.diagnostics = &noDiagnostics;
        if (!filled.accountLibrary)
            filled.accountLibrary = &noAccountLibrary;
        if (!filled.accountIntegration)
            filled.accountIntegration = &noAccountIntegration;
        return filled;
    }
};
