#include "scriptedsupply.h"

#include "link/framecodec.h"

#include <QPointer>
#include <QTimer>

namespace zor::test {

ScriptedSupply::ScriptedSupply(QObject *parent) : QObject(parent) {
    clock_.start();
}

QList<QByteArray> ScriptedSupply::payloads() const {
    QList<QByteArray> out;
    for (const Frame &f : frames)
        out.append(f.payload);
    return out;
}

void ScriptedSupply::consume(const QByteArray &bytes) {
    pending_.append(bytes);
    for (;;) {
        const auto start = pending_.indexOf(STX);
        if (start < 0) {
            pending_.clear();
            return;
        }
        const char end = ethernet ? ETX : LF;
        const auto stop = pending_.indexOf(end, start);
        if (stop < 0)
            return;
        const QByteArray frame = pending_.mid(start, stop - start + 1);
        pending_.remove(0, stop + 1);
        // Serial frames carry checksum, CR, LF after the payload; network frames ETX.
        const QByteArray payload = ethernet ? frame.mid(1, frame.size() - 2)
                                            : frame.mid(1, qMax<qsizetype>(frame.size() - 4, 0));
        frames.append({clock_.elapsed(), frame, payload});
        answer(payload);
    }
}

void ScriptedSupply::push(const QByteArray &bytes, int delayMs) {
    QPointer<ScriptedSupply> self(this);
    QTimer::singleShot(delayMs, this, [self, bytes] {
        if (self)
            emit self->deliver(bytes);
    });
}

void ScriptedSupply::answer(const QByteArray &payload) {
    const Answer a = rules_.value(payload, fallback);
    if (a.silent)
        return;
    const QByteArray bytes = a.raw ? a.text : ProcessOutputString(a.text, ethernet);
    QList<int> cuts = a.splitAt;
    cuts.append(static_cast<int>(bytes.size()));
    int from = 0;
    int delay = a.delayMs;
    for (int cut : cuts) {
        if (cut <= from)
            continue;
        push(bytes.mid(from, cut - from), delay);
        from = cut;
        delay += a.pieceGapMs;
    }
}

} // namespace zor::test
