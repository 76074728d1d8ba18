#pragma once

#include <QFile>
#include <QString>

namespace zor {

// A text file that grows by whole lines only. Each line reaches the operating
// system before append() returns; a line that cannot be written whole is cut
// off again, so a reader never finds half a line. Once a write fails the file
// stays closed and error() says why.
class LineFile {
public:
    // Creates or empties the file; false with error() set when it cannot.
    bool open(const QString &path);
    void close();
    bool isOpen() const { return file_.isOpen(); }
    QString path() const { return file_.fileName(); }
    QString error() const { return error_; }

    // Writes the line and a line feed; false (and closed) when that failed.
    bool append(const QString &line);

private:
    bool fail(const QString &reason);

    QFile file_;
    qint64 whole_ = 0; // bytes that end on a complete line
    QString error_;
};

} // namespace zor
