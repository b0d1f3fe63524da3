#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QRecursiveMutex>
#include <QObject>
#include <QString>

// The typed settings store: one JSON object in $XDG_CONFIG_HOME/sorvane/settings.json.
// Values keep their JSON type (a number stays a number), readers fall back to the
// documented defaults, and every change is written at once through a temp file and
// a rename. Safe to use from any thread; valueChanged is emitted on the caller's thread.
class Settings : public QObject
{
    Q_OBJECT
public:
    explicit Settings(QString filePath, QObject *parent = nullptr);

    // The store of this process, at the standard location.
    static Settings &shared();
    static QString standardFilePath();

    // The documented default of a key, or Undefined when the key has none.
    static QJsonValue defaultValue(const QString &key);

    bool contains(const QString &key) const;
    // The stored value, or Undefined.
    QJsonValue storedValue(const QString &key) const;
    // The stored value, else the default, else Undefined.
    QJsonValue value(const QString &key) const;

    // Typed readers: the stored value when it has a usable type, else the default,
    // else the given fallback. Numbers that are not finite are never usable, and
    // intValue takes only whole numbers within qint64.
    bool boolValue(const QString &key, bool fallback = false) const;
    double doubleValue(const QString &key, double fallback = 0.0) const;
    qint64 intValue(const QString &key, qint64 fallback = 0) const;
    QString stringValue(const QString &key, const QString &fallback = QString()) const;

    void setValue(const QString &key, const QJsonValue &value);
    void remove(const QString &key);

    // Typed accessors of the keys read in several places, with the readers' fallbacks.
    // The view and appearance modes are raw values; their enums live in the layers above.
    // Falls back to the default for a size outside SettingsLimits, so no reader has to
    // guard against a hand-edited 1e300.
    double fontSize() const;
    static bool isUsableFontSize(double points);
    void setFontSize(double size);
    QString appearanceMode() const;
    void setAppearanceMode(const QString &rawValue);
    QString preferredViewMode() const;
    void setPreferredViewMode(const QString &rawValue);
    bool showOutline() const;
    void setShowOutline(bool on);
    bool distractionFree() const;
    void setDistractionFree(bool on);
    bool showWorkspace() const;
    bool useCustomCSS() const;
    void setUseCustomCSS(bool on);

Q_SIGNALS:
    void valueChanged(const QString &key);
    // After valueChanged, for the keys that have a listener of their own.
    void showWorkspaceChanged(bool on);

private:
    void emitChanged(const QString &key);
    // Both return what went wrong, empty when nothing did; callers report it once the
    // lock is released, since the report reaches the diagnostic log, which reads here.
    QString loadLocked();
    QString writeLocked();
    // Moves a damaged settings file to a free name beside it; clears m_damagedInPlace
    // once it is out of the way.
    QString keepDamagedAsideLocked();
    static void report(const QString &problem);

    QString m_filePath;
    // Recursive: Qt's own messages reach the diagnostic log, which reads the verbose
    // switch from this store; one raised by a file call made under the lock must not
    // deadlock its own thread.
    mutable QRecursiveMutex m_mutex;
    QJsonObject m_values;
    // A damaged or unreadable file still sits at m_filePath: nothing is written over it.
    bool m_damagedInPlace = false;
};
