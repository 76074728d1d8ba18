#pragma once

#include "platform/dialogs.h"

#include <QString>
#include <functional>

namespace zor {

// Asks for a file through the save box and hands it to write, which returns the
// reason when it fails; a failure is told in one box. Cancel does nothing.
inline void writeChosenFile(const QString &title, const QString &filter,
                            const std::function<QString(const QString &)> &write,
                            const QString &failure = QStringLiteral("Could not write %1: %2")) {
    const QString path = dialogs().saveFile(title, filter);
    if (path.isEmpty())
        return;
    const QString error = write(path);
    if (!error.isEmpty())
        dialogs().message(failure.arg(path, error));
}

} // namespace zor
