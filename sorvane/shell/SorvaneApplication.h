#pragma once

#include <QApplication>

// The application object. Qt cannot carry an exception through its event loop, so
// one that escapes an event handler ends the process right there as an uncaught
// exception (crash capture records it when installed).
class SorvaneApplication : public QApplication
{
    Q_OBJECT

public:
    SorvaneApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};
