#pragma once

#include <QByteArray>
#include <QString>

namespace zor::tools {

// A real pseudo-terminal pair in raw mode: the console opens slavePath() as its
// serial port, a test or a probe plays the supply on the master side, which
// never blocks.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool ok() const { return master_ >= 0; }
    QString slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }
    int slaveFd() const { return slave_; }

    // What has arrived so far, without waiting.
    QByteArray read();
    void write(const QByteArray &bytes);

private:
    int master_ = -1;
    int slave_ = -1; // held so the master never sees a hang-up between opens
    QString slavePath_;
};

} // namespace zor::tools
