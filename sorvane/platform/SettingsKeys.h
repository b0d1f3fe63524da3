#pragma once

#include <QString>

// Every key of the settings store with its default, declared once. Readers and
// writers name keys through these constants; Settings builds its table of defaults
// from them. Keys without a default read as absent until written.
namespace SettingsKeys {

// Appearance and layout
inline const QString fontSize = QStringLiteral("fontSize");
inline const QString appearanceMode = QStringLiteral("appearanceMode");
inline const QString preferredViewMode = QStringLiteral("preferredViewMode");
inline const QString previewTheme = QStringLiteral("previewTheme");
inline const QString showOutline = QStringLiteral("showOutline");
inline const QString distractionFree = QStringLiteral("distractionFree");
inline const QString showWorkspace = QStringLiteral("showWorkspace");
inline const QString proTheme = QStringLiteral("sorvane.proTheme");
inline const QString useCustomCSS = QStringLiteral("sorvane.useCustomCSS");

// Editing
inline const QString wordWrap = QStringLiteral("wordWrap");
inline const QString spellCheck = QStringLiteral("spellCheck");
inline const QString syntaxHighlight = QStringLiteral("syntaxHighlight");
inline const QString vimModeEnabled = QStringLiteral("vimModeEnabled");

// Documents and start-up
inline const QString restoreSession = QStringLiteral("restoreSession");
// Where an older build kept the open tabs; read once as a fallback, then removed.
inline const QString legacySessionState = QStringLiteral("sorvane.sessionState");
inline const QString recentDocuments = QStringLiteral("recentDocuments");
inline const QString hasOpenedWelcomeDoc = QStringLiteral("hasOpenedWelcomeDoc");
inline const QString hasWarnedAboutInstallLocation = QStringLiteral("hasWarnedAboutInstallLocation");
inline const QString hasPromptedForDefaultHandler = QStringLiteral("hasPromptedForDefaultHandler");

// The AI workspace: the root folder's bookmark and the pins (each Base64 of its bytes),
// and the agent instruction files already offered as pins once (a list of paths).
inline const QString agentWorkspaceRootBookmark = QStringLiteral("agentWorkspace.rootBookmark");
inline const QString agentWorkspaceFavorites = QStringLiteral("agentWorkspace.favorites");
inline const QString agentWorkspaceSeenAgentDocs = QStringLiteral("agentWorkspace.seenAgentDocs");

// Diagnostics, analytics, updates, tools
inline const QString analyticsOptOut = QStringLiteral("analyticsOptOut");
// The anonymous distinct id ("dev_" + a UUID once used), the version of the previous
// launch and when the install's first opening was reported.
inline const QString analyticsAnonymousId = QStringLiteral("analyticsAnonymousId");
inline const QString analyticsLastLaunchedVersion = QStringLiteral("analyticsLastLaunchedVersion");
inline const QString analyticsInstallFirstOpenedAt = QStringLiteral("analyticsInstallFirstOpenedAt");
inline const QString betaUpdatesEnabled = QStringLiteral("sorvane.updates.betaEnabled");
// The short version seen at the last launch; a change means the app was updated.
inline const QString lastKnownVersion = QStringLiteral("sorvane.lastKnownVersion");
// "x y w h" of the update alert when it last closed; removed when it lies on no screen.
inline const QString updateAlertFrame = QStringLiteral("NSWindow Frame SUUpdateAlert2");
inline const QString diagnosticsEnabled = QStringLiteral("sorvane.diagnosticsEnabled");
inline const QString verboseDiagnosticsEnabled = QStringLiteral("sorvane.verboseDiagnosticsEnabled");
inline const QString verboseDiagnosticsEnabledAt = QStringLiteral("sorvane.verboseDiagnosticsEnabledAt");
inline const QString recentSaveFailures = QStringLiteral("sorvane.recentSaveFailures");
inline const QString mcpWriteMode = QStringLiteral("sorvane.mcp.writeMode");
// Consent to error reports, under the account library's own names.
inline const QString errorTelemetryEnabled = QStringLiteral("tolvern.error_telemetry_enabled");
inline const QString errorTelemetryOptOutShown = QStringLiteral("tolvern.error_telemetry_opt_out_shown");

} // namespace SettingsKeys

// The documented defaults of the keys above that have one.
namespace SettingsDefaults {

inline constexpr double fontSize = 15;
inline const QString appearanceMode = QStringLiteral("Auto");
inline const QString preferredViewMode = QStringLiteral("Split");
inline const QString previewTheme = QStringLiteral("Default");
inline constexpr bool showOutline = false;
inline constexpr bool distractionFree = false;
inline constexpr bool showWorkspace = false;
inline const QString proTheme = QString();
inline constexpr bool useCustomCSS = false;
inline constexpr bool wordWrap = true;
inline constexpr bool spellCheck = true;
inline constexpr bool syntaxHighlight = true;
inline constexpr bool vimModeEnabled = false;
inline constexpr bool restoreSession = true;
inline constexpr bool analyticsOptOut = false;
inline constexpr bool betaUpdatesEnabled = false;
inline constexpr bool diagnosticsEnabled = true;
inline constexpr bool verboseDiagnosticsEnabled = false;
inline constexpr double verboseDiagnosticsEnabledAt = 0;
inline constexpr double recentSaveFailures = 0;
inline constexpr bool mcpWriteMode = false;

} // namespace SettingsDefaults

// What a stored value may hold before readers take it for damage and use the default.
namespace SettingsLimits {

// Points; wide enough for any screen, narrow enough that every reader can round it.
inline constexpr double minimumFontSize = 1;
inline constexpr double maximumFontSize = 1000;

} // namespace SettingsLimits
