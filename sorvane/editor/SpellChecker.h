#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

struct str_enchant_broker;
struct str_enchant_dict;

// The desktop's spelling service through Enchant 2, one dictionary per process,
// picked from the system locale with US English as fallback. Answers are cached so
// re-checking the visible text after each pause costs little. Main thread only.
class SpellChecker
{
public:
    static SpellChecker &shared();

    SpellChecker(const SpellChecker &) = delete;
    SpellChecker &operator=(const SpellChecker &) = delete;
    ~SpellChecker();

    // False when Enchant has no dictionary for the language; then every word passes.
    bool isAvailable() const { return m_dict != nullptr; }
    QString language() const { return m_language; }

    bool isCorrect(const QString &word);
    QStringList suggestions(const QString &word, int limit = 8);
    // Adds the word to the user's personal word list.
    void learn(const QString &word);
    // Accepts the word until the process ends.
    void ignore(const QString &word);

private:
    SpellChecker();

    str_enchant_broker *m_broker = nullptr;
    str_enchant_dict *m_dict = nullptr;
    QString m_language;
    QHash<QString, bool> m_cache;
};
