#include "SpellChecker.h"

#include <QLocale>

#include <enchant.h>

SpellChecker &SpellChecker::shared()
{
    static SpellChecker checker;
    return checker;
}

SpellChecker::SpellChecker()
{
    m_broker = enchant_broker_init();
    if (!m_broker)
        return;
    QStringList candidates{QLocale::system().name(), QStringLiteral("en_US"), QStringLiteral("en")};
    for (const QString &language : std::as_const(candidates)) {
        const QByteArray tag = language.toUtf8();
        if (language.isEmpty() || language == QLatin1String("C") || !enchant_broker_dict_exists(m_broker, tag.constData()))
            continue;
        m_dict = enchant_broker_request_dict(m_broker, tag.constData());
        if (m_dict) {
            m_language = language;
            break;
        }
    }
}

SpellChecker::~SpellChecker()
{
    if (m_dict)
        enchant_broker_free_dict(m_broker, m_dict);
    if (m_broker)
        enchant_broker_free(m_broker);
}

bool SpellChecker::isCorrect(const QString &word)
{
    if (!m_dict || word.isEmpty())
        return true;
    const auto cached = m_cache.constFind(word);
    if (cached != m_cache.constEnd())
        return *cached;
    const QByteArray utf8 = word.toUtf8();
    const bool correct = enchant_dict_check(m_dict, utf8.constData(), utf8.size()) == 0;
    if (m_cache.size() > 200000)
        m_cache.clear();
    m_cache.insert(word, correct);
    return correct;
}

QStringList SpellChecker::suggestions(const QString &word, int limit)
{
    QStringList result;
    if (!m_dict || word.isEmpty())
        return result;
    const QByteArray utf8 = word.toUtf8();
    size_t count = 0;
    char **list = enchant_dict_suggest(m_dict, utf8.constData(), utf8.size(), &count);
    for (size_t i = 0; list && i < count && result.size() < limit; ++i)
        result.append(QString::fromUtf8(list[i]));
    if (list)
        enchant_dict_free_string_list(m_dict, list);
    return result;
}

void SpellChecker::learn(const QString &word)
{
    if (!m_dict || word.isEmpty())
        return;
    const QByteArray utf8 = word.toUtf8();
    enchant_dict_add(m_dict, utf8.constData(), utf8.size());
    m_cache.insert(word, true);
}

void SpellChecker::ignore(const QString &word)
{
    if (!m_dict || word.isEmpty())
        return;
    const QByteArray utf8 = word.toUtf8();
    enchant_dict_add_to_session(m_dict, utf8.constData(), utf8.size());
    m_cache.insert(word, true);
}
