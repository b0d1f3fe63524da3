#include "PandocExporter.h"

#include <QStandardPaths>

namespace PandocExporter {

QString locatePandoc()
{
    return QStandardPaths::findExecutable(QStringLiteral("pandoc"));
}

} // namespace PandocExporter
