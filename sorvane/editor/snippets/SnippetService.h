#pragma once

#include "Snippet.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

// The user's snippet library: loaded from "snippets.json" in the support folder,
// seeded with the starters, and saved a short while after the last change. Editors
// look triggers up here on Tab; the settings' Snippets tab edits the list. Every
// change is published at once through snippetsChanged. GUI thread only.
class SnippetService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<Snippet> snippets READ snippets NOTIFY snippetsChanged)
public:
    static constexpr int saveDelayMs = 200;

    // Loads the library at storePath; an empty path means no file at all.
    explicit SnippetService(const QString &storePath, QObject *parent = nullptr);
    // A save still waiting is written first.
    ~SnippetService() override;

    // The process-wide library over storePath(), created on first use.
    static SnippetService &shared();
    // "snippets.json" in the application's support folder.
    static QString storePath();
    // The five built-in snippets; the same ids for the whole process.
    static const QList<Snippet> &starters();

    QList<Snippet> snippets() const { return m_snippets; }
    QString path() const { return m_path; }

    // The first snippet whose trigger is exactly `trigger`.
    std::optional<Snippet> find(const QString &trigger) const;
    // Replaces the snippet with the same id; nothing happens when there is none.
    void update(const Snippet &snippet);
    void add(const Snippet &snippet);
    // Removes every snippet with this id.
    void remove(const QUuid &id);
    void resetToDefaults();

    bool isSavePending() const { return m_saveTimer.isActive(); }
    // Writes a waiting save now; called at quit.
    void flushPendingSave();

Q_SIGNALS:
    void snippetsChanged();
    // After each write attempt, whether it reached the disk.
    void saveFinished(bool ok);

private:
    void load();
    bool moveAside();
    void setSnippets(const QList<Snippet> &snippets);
    void scheduleSave();
    void save();

    QString m_path;
    QList<Snippet> m_snippets;
    QTimer m_saveTimer;
    // Set when a broken file could not be kept aside: it must not be overwritten.
    bool m_writeBlocked = false;
};
