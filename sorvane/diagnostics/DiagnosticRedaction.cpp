#include "DiagnosticRedaction.h"

#include <QDir>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>

#include <algorithm>
#include <memory>

namespace {

// Key words whose value is a secret however short it is. They match as the tail of a
// key name, so "client_secret", "x-api-key" and "refresh_token" are covered too.
#define STRONG_SECRET_KEYS                                                                         \
    "password|passwd|passphrase|pwd|secret(?:[_-]?key)?|token|api[_-]?key|private[_-]?key|"        \
    "access[_-]?key|credentials?|session[_-]?id|signature"
// Key words that name a secret only when the value is long enough to be one
// ("code=404" is a status, "code=Xy81kq..." an authorization code).
#define WEAK_SECRET_KEYS "code|tvs"

// Replaces every match with what the function makes of it.
template<typename Replacement>
QString replaceMatches(const QString &text, const QRegularExpression &expression, Replacement &&replacement)
{
    QRegularExpressionMatchIterator it = expression.globalMatch(text);
    if (!it.hasNext())
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype last = 0;
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        result += QStringView(text).mid(last, match.capturedStart() - last);
        result += replacement(match);
        last = match.capturedEnd();
    }
    result += QStringView(text).mid(last);
    return result;
}

QString replaceAll(const QString &text, const QRegularExpression &expression, const QString &replacement)
{
    QString result = text;
    return result.replace(expression, replacement);
}

struct Patterns {
    // Standard Base64 and token68 characters, so "+" and "/" cannot end the match early.
    const QRegularExpression bearer{QStringLiteral(R"((?i)\bBearer\s+[A-Za-z0-9\-_.=~+/]+)")};
    // Any Authorization header: a known scheme stays, the credentials go, either one
    // token or a list of name=value parameters (quoted ones included).
    const QRegularExpression authorization{QStringLiteral(
        R"((?i)\b((?:proxy-)?authorization\s*[:=][ \t]*))"
        R"((?:((?:basic|bearer|digest|dpop|negotiate|ntlm|hoba|mutual|token|oauth|apikey|key|)"
        R"(aws4-hmac-sha256|scram-sha-1|scram-sha-256|vapid))[ \t]+)?)"
        R"((?:[\w-]+=(?:"[^"\r\n]*"|[^\s,"]*)(?:[ \t]*,[ \t]*[\w-]+=(?:"[^"\r\n]*"|[^\s,"]*))*|)"
        R"([^\s,;"')\]}]+))")};
    const QRegularExpression cookie{
        QStringLiteral(R"((?i)(?<![\w-])((?:set-)?cookie\s*[:=][ \t]*)[^\s"'][^\r\n"']*)")};
    // The look-behinds only stop a failed match from being retried at every later
    // character of the same run (quadratic on long words); they match the same texts.
    const QRegularExpression email{
        QStringLiteral(R"((?<![A-Za-z0-9._%+\-])[A-Za-z0-9._%+\-]+@[A-Za-z0-9.\-]+\.[A-Za-z]{2,})")};
    const QRegularExpression homePath{QStringLiteral(R"((/(?:Users|home)/)([^/\s]+))")};
    const QRegularExpression rootHome{
        QStringLiteral(R"((?:(?<=file://)|(?<![\w.~/-]))(/)root(?![\w.-]))")};
    // A dotted quad standing on its own: not the tail or head of a longer dotted run
    // such as a version "1.2.3.4.5" or "v10.0.0.1".
    const QRegularExpression ipv4{QStringLiteral(
        R"((?<![\w.])(?:(?:25[0-5]|2[0-4]\d|[01]?\d\d?)\.){3}(?:25[0-5]|2[0-4]\d|[01]?\d\d?)(?!\w|\.\d))")};
    // Bounded so that "::" between identifiers ("std::vector") is not an address.
    const QRegularExpression ipv6{QStringLiteral(
        R"((?<![\w:.])(?:)"
        R"((?:[0-9a-fA-F]{1,4}:){7}[0-9a-fA-F]{1,4}|(?:[0-9a-fA-F]{1,4}:){1,7}:|)"
        R"((?:[0-9a-fA-F]{1,4}:){1,6}:[0-9a-fA-F]{1,4}|(?:[0-9a-fA-F]{1,4}:){1,5}(?::[0-9a-fA-F]{1,4}){1,2}|)"
        R"((?:[0-9a-fA-F]{1,4}:){1,4}(?::[0-9a-fA-F]{1,4}){1,3}|(?:[0-9a-fA-F]{1,4}:){1,3}(?::[0-9a-fA-F]{1,4}){1,4}|)"
        R"((?:[0-9a-fA-F]{1,4}:){1,2}(?::[0-9a-fA-F]{1,4}){1,5}|[0-9a-fA-F]{1,4}:(?::[0-9a-fA-F]{1,4}){1,6}|)"
        R"(::(?:[0-9a-fA-F]{1,4}:){0,6}[0-9a-fA-F]{0,4}|::)"
        R"()(?![\w:]))")};
    const QRegularExpression jwtOrTvs{QStringLiteral(
        R"((?:tvs_|tvr_)[A-Za-z0-9\-_]+|(?<![A-Za-z0-9\-_])[A-Za-z0-9\-_]{20,}\.[A-Za-z0-9\-_]{20,}\.[A-Za-z0-9\-_]{10,})")};
    const QRegularExpression keyedSecret{QStringLiteral(
        R"((?i)(?:token|password|tvs|code|apikey|api_key|refresh_token|access_token)\s*[=:]\s*[^\s&",}]{6,})")};
    // "password":"…" and 'password': '…' (JSON and dictionary forms).
    const QRegularExpression quotedKeySecret{QStringLiteral(
        R"((?i)(["'])[\w.-]*?(?:)" STRONG_SECRET_KEYS R"(|authorization|cookie|()" WEAK_SECRET_KEYS
        R"())\1\s*:\s*("(?:[^"\\]|\\.)*"|'(?:[^'\\]|\\.)*'|[^\s,}\]]+))")};
    // password=abc12, client_secret: "…": short and quoted values the pattern above misses.
    const QRegularExpression plainKeySecret{QStringLiteral(
        R"((?i)(?<![\w.-])[\w.-]*?(?:)" STRONG_SECRET_KEYS R"(|()" WEAK_SECRET_KEYS
        R"())\s*[=:]\s*("(?:[^"\\\r\n]|\\.)*"|'(?:[^'\\\r\n]|\\.)*'|[^\s&"',;}\]]+))")};
    // The same keys inside a percent-encoded URL (a redirect target carried in a query):
    // "=" spelled %3D and "&" %26, in either case and encoded more than once (%253D).
    // The key may follow an encoded separator such as %3F or %253F; that escape is
    // matched whole (group 1) so its hex digits cannot pass for the key's first letters.
    const QRegularExpression encodedKeySecret{QStringLiteral(
        R"((?i)(%(?:25)*[0-9a-f]{2}|(?<![\w.%-]))[\w.-]*?(?:)" STRONG_SECRET_KEYS R"(|()"
        WEAK_SECRET_KEYS R"())%(?:25)*3d((?:(?!%(?:25)*26)[^\s&"',;}\]])*))")};
    const QRegularExpression opaqueBlob{QStringLiteral(R"(\b[A-Za-z0-9\-_]{24,}\b)")};
};

const Patterns &patterns()
{
    static const Patterns instance;
    return instance;
}

// The actual home folder, wherever it lies; rebuilt only when $HOME changes.
std::shared_ptr<const QRegularExpression> homeFolderPattern()
{
    static QMutex mutex;
    static QString cachedHome;
    static std::shared_ptr<const QRegularExpression> cached;

    const QString home = QDir::cleanPath(QDir::homePath());
    QMutexLocker locker(&mutex);
    if (home != cachedHome || !cached) {
        cachedHome = home;
        const qsizetype slash = home.lastIndexOf(QLatin1Char('/'));
        if (!QDir::isAbsolutePath(home) || slash < 0 || slash == home.size() - 1) {
            cached = std::make_shared<const QRegularExpression>();
        } else {
            const QString prefix = home.left(slash + 1);
            const QString user = home.mid(slash + 1);
            cached = std::make_shared<const QRegularExpression>(
                QStringLiteral(R"((?:(?<=file://)|(?<![\w.~/-]))()") + QRegularExpression::escape(prefix)
                + QStringLiteral(")") + QRegularExpression::escape(user) + QStringLiteral(R"((?![\w.-]))"));
        }
    }
    return cached;
}

// The whole key and value become "<secret-redacted>", unless there is nothing to hide
// or a weak key's value is too short to be a credential.
QString redactKeyedValue(const QRegularExpressionMatch &match, int weakKeyGroup, int valueGroup)
{
    QStringView value = match.capturedView(valueGroup);
    if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')))
        value = value.mid(1, value.size() - 2);
    const bool nothingToHide = value.isEmpty() || value.compare(QLatin1String("null"), Qt::CaseInsensitive) == 0;
    const bool weakKey = match.capturedLength(weakKeyGroup) > 0;
    if (nothingToHide || (weakKey && value.size() < 6))
        return match.captured(0);
    return QStringLiteral("<secret-redacted>");
}

} // namespace

namespace DiagnosticRedaction {

QString redact(const QString &text)
{
    if (text.isEmpty())
        return text;
    const Patterns &p = patterns();

    QString s = replaceAll(text, p.bearer, QStringLiteral("Bearer <redacted>"));
    s = replaceMatches(s, p.authorization, [](const QRegularExpressionMatch &m) {
        const QString scheme = m.captured(2);
        return m.captured(1) + (scheme.isEmpty() ? QString() : scheme + QLatin1Char(' '))
            + QStringLiteral("<redacted>");
    });
    s = replaceAll(s, p.cookie, QStringLiteral("\\1<redacted>"));
    s = replaceAll(s, p.email, QStringLiteral("<redacted>"));
    s = replaceAll(s, p.homePath, QStringLiteral("\\1<redacted>"));
    s = replaceAll(s, p.rootHome, QStringLiteral("\\1<redacted>"));
    const auto home = homeFolderPattern();
    if (!home->pattern().isEmpty())
        s = replaceAll(s, *home, QStringLiteral("\\1<redacted>"));
    s = replaceAll(s, p.ipv4, QStringLiteral("<ip-redacted>"));
    s = replaceMatches(s, p.ipv6, [](const QRegularExpressionMatch &m) {
        // "Abc::def" is far likelier a qualified name than an address; real ones carry a digit.
        const QStringView found = m.capturedView(0);
        const bool hasDigit = std::any_of(found.begin(), found.end(), [](QChar c) { return c.isDigit(); });
        return hasDigit || found == QLatin1String("::") ? QStringLiteral("<ip-redacted>") : found.toString();
    });
    s = replaceAll(s, p.jwtOrTvs, QStringLiteral("<token-redacted>"));
    s = replaceAll(s, p.keyedSecret, QStringLiteral("<secret-redacted>"));
    s = replaceMatches(s, p.quotedKeySecret, [](const QRegularExpressionMatch &m) { return redactKeyedValue(m, 2, 3); });
    s = replaceMatches(s, p.plainKeySecret, [](const QRegularExpressionMatch &m) { return redactKeyedValue(m, 1, 2); });
    s = replaceMatches(s, p.encodedKeySecret, [](const QRegularExpressionMatch &m) {
        const QString redacted = redactKeyedValue(m, 2, 3);
        // The escaped separator in front of the key belongs to the URL around it.
        return redacted == m.captured(0) ? redacted : m.captured(1) + redacted;
    });
    s = replaceAll(s, p.opaqueBlob, QStringLiteral("<blob-redacted>"));
    return s;
}

} // namespace DiagnosticRedaction

#undef STRONG_SECRET_KEYS
#undef WEAK_SECRET_KEYS
