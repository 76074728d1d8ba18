#pragma once

#include <QByteArray>
#include <QString>

namespace zor::test {

// A real pseudo-terminal pair in raw mode: the console opens slavePath() as its
// serial port, the test plays the supply on the master side.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool ok() const { return master_ >= 0; }
    QString slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }

    // Reads what is there now, waiting at most timeoutMs for the first byte.
    QByteArray read(int timeoutMs);
    // Reads until `end` has been seen `count` times or the time is up.
    QByteArray readUntil(char end, int count, int timeoutMs);
    void write(const QByteArray &bytes);

private:
    int master_ = -1;
    int slave_ = -1; // held so the master never sees a hang-up between opens
    QString slavePath_;
};

} // namespace zor::test
