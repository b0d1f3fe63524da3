#pragma once

#include <QObject>

#include <memory>

class NetworkPathSource;

// Whether the machine has a usable network path, for the views that show an offline
// state. Starts online and follows the reports of its path source; observers hear
// only real changes.
class NetworkReachabilityService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isOnline READ isOnline NOTIFY isOnlineChanged)
public:
    // Takes the source and starts it at once.
    explicit NetworkReachabilityService(std::unique_ptr<NetworkPathSource> source,
                                        QObject *parent = nullptr);
    ~NetworkReachabilityService() override;

    // The process-wide service over the desktop's network monitor, made on first use
    // (from any thread; it lives on the application's thread) and kept to the end.
    static NetworkReachabilityService &shared();

    bool isOnline() const { return m_isOnline; }

Q_SIGNALS:
    void isOnlineChanged(bool online);

private:
    void setOnline(bool online);

    bool m_isOnline = true;
};
