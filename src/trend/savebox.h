#pragma once

#include "platform/dialogs.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QString>
#include <functional>

namespace zor {

// Asks for a file through the save box and hands it to write, which returns the
// reason when it fails; a failure is told in one box. Cancel does nothing.
inline void writeChosenFile(const QString &title, const QString &filter,
                            const std::function<QString(const QString &)> &write,
                            const QString &failure = QStringLiteral("Could not write %1: %2"),
                            const QString &suggested = {}) {
    QString offered = suggested;
    if (offered.isEmpty()) {
        // A name the operator can keep: what it is, when, and the filter's extension.
        static const QRegularExpression extension(QStringLiteral("\\*\\.(\\w+)"));
        offered = QDir::home().filePath(
            QStringLiteral("zor-%1-%2.%3")
                .arg(title.toLower().replace(u' ', u'-'),
                     QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmm")),
                     extension.match(filter).captured(1)));
    }
    const QString path = dialogs().saveFile(title, filter, offered);
    if (path.isEmpty())
        return;
    const QString error = write(path);
    if (!error.isEmpty())
        dialogs().message(failure.arg(path, error));
}

} // namespace zor
