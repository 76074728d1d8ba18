#include "records/linefile.h"

#include <QFileInfo>

namespace zor {

bool LineFile::open(const QString &path) {
    close();
    error_.clear();
    file_.setFileName(path);
    // Unbuffered: every line goes to the system at once, nothing waits in a buffer.
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return fail(file_.errorString());
    whole_ = 0;
    return true;
}

void LineFile::close() {
    if (file_.isOpen())
        file_.close();
}

bool LineFile::append(const QString &line) {
    if (!file_.isOpen())
        return false;
    // A file removed under the console still takes writes that nobody will see.
    if (!QFileInfo::exists(file_.fileName()))
        return fail(QStringLiteral("the file is gone"));
    const QByteArray bytes = line.toUtf8() + '\n';
    const qint64 written = file_.write(bytes);
    if (written != bytes.size()) {
        // A short write leaves no error of its own behind.
        const QString reason = file_.error() == QFileDevice::NoError
                                   ? QStringLiteral("the disk took only part of a line")
                                   : file_.errorString();
        if (written > 0)
            file_.resize(whole_);
        return fail(reason);
    }
    whole_ += written;
    return true;
}

bool LineFile::fail(const QString &reason) {
    error_ = reason;
    close();
    return false;
}

} // namespace zor
