#include "SorvaneApplication.h"

#include <exception>

SorvaneApplication::SorvaneApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool SorvaneApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        // Inside the handler the exception is still current, so the terminate handler
        // sees its type and text.
        std::terminate();
    }
}
