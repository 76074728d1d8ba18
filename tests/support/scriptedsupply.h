#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>

namespace zor::test {

// A supply that answers from a script: per payload a reply text, a delay, a
// split into pieces, raw bytes, or silence. Records every frame it receives
// with the time it arrived.
class ScriptedSupply : public QObject {
    Q_OBJECT
public:
    struct Answer {
        QByteArray text;    // reply text without framing, e.g. "640;"
        int delayMs = 0;    // before the first byte
        QList<int> splitAt; // byte offsets where the reply is cut into pieces
        int pieceGapMs = 5; // between pieces
        bool silent = false;
        bool raw = false; // text is sent as it stands, without framing
    };
    struct Frame {
        qint64 atMs;
        QByteArray bytes;
        QByteArray payload;
    };

    explicit ScriptedSupply(QObject *parent = nullptr);

    bool ethernet = false;
    // Answer given to payloads that have no rule; silent by default.
    Answer fallback{{}, 0, {}, 5, true, false};

    void on(const QByteArray &payload, const Answer &answer) { rules_[payload] = answer; }
    void on(const QByteArray &payload, const QByteArray &text, int delayMs = 0) {
        on(payload, {text, delayMs, {}, 5, false, false});
    }
    void silentOn(const QByteArray &payload) { on(payload, {{}, 0, {}, 5, true, false}); }
    void rawOn(const QByteArray &payload, const QByteArray &bytes, int delayMs = 0) {
        on(payload, {bytes, delayMs, {}, 5, false, true});
    }

    // Bytes written by the console.
    void consume(const QByteArray &bytes);
    // Bytes that arrive without a request (status messages, noise).
    void push(const QByteArray &bytes, int delayMs = 0);

    QList<Frame> frames;
    QList<QByteArray> payloads() const;
    // The clock the frames are stamped on.
    qint64 nowMs() const { return clock_.elapsed(); }

signals:
    void deliver(const QByteArray &bytes);

private:
    void answer(const QByteArray &payload);

    QHash<QByteArray, Answer> rules_;
    QByteArray pending_;
    QElapsedTimer clock_;
};

} // namespace zor::test
