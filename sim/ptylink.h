#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace zor::sim {

class LinkSession;
class Simulator;

// The serial side: a pseudo-terminal whose slave the console opens as a serial
// port. We keep a slave descriptor open ourselves, so the master never reads
// an error while the console has the port closed, and the console can close
// and re-open the port at will. The line rate the console sets is visible from
// the master: bytes sent at another rate than the unit's arrive as noise.
class PtyLink : public QObject {
    Q_OBJECT

public:
    explicit PtyLink(Simulator &sim, QObject *parent = nullptr);
    ~PtyLink() override;

    // Creates the pseudo-terminal; when linkPath is not empty, makes it a
    // symbolic link to the slave (replacing an older symbolic link, never a file).
    bool open(const QString &linkPath, QString *error);
    QString slavePath() const { return slavePath_; }

private:
    void onReadable();
    void onWritable();
    void write(const QByteArray &bytes);
    int lineBaud() const;

    Simulator &sim_;
    LinkSession *session_ = nullptr;
    int master_ = -1;
    int slaveHold_ = -1;
    QString slavePath_;
    QString linkPath_;
    QSocketNotifier *readNotifier_ = nullptr;
    QSocketNotifier *writeNotifier_ = nullptr;
    QByteArray outbox_; // what the pty would not take yet
};

} // namespace zor::sim
