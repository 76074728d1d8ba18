#pragma once

#include "sim/simprocess.h"
#include "testconsole.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zor::e2e {

// One payload as the console sent it, and the reply it collected for it.
struct Exchange {
    QByteArray payload;
    // Nothing when no reply was collected: a send alone, or a receive that
    // found its port closed.
    std::optional<QByteArray> reply;
    qint64 sentMs = 0;
    qint64 doneMs = -1;

    bool empty() const { return !reply || reply->isEmpty(); }
    // Begins with STX and holds its transport's terminator.
    bool whole() const;
};

// Every exchange of the console, timed on a monotonic clock.
class LinkTrace : public QObject {
    Q_OBJECT
public:
    explicit LinkTrace(DeviceLink &link);

    std::vector<Exchange> exchanges;
    // Runs as each payload goes out, before it reaches the wire.
    std::function<void(const QByteArray &payload)> onSend;

    int size() const { return static_cast<int>(exchanges.size()); }
    // The exchanges of `payload` from index `from` on.
    std::vector<Exchange> of(const QByteArray &payload, int from = 0) const;

private:
    QElapsedTimer clock_;
};

// The console on real ports (Form_Load done, no port chosen) and a zor-sim for
// it to talk to.
class SimSession : public test::Console {
public:
    enum class Transport { Pty, Tcp };

    SimSession(Transport transport, const QStringList &simArgs = {});

    // Starts the simulator, again at the same link path or port after stopSim().
    bool startSim();
    // Kills it: the pseudo-terminal vanishes, the TCP peer goes away.
    void stopSim() { sim_.reset(); }
    // Ports > COMM USER with the simulator's link and then Auto Update Mode;
    // or the Ethernet handler with its host dialog.
    void selectPort();

    // Returns right after the console's next reply. The supply sends its own
    // status messages only after a quiet spell, so a command sent now cannot
    // cross one on the wire, which would be taken for the command's reply.
    void settle();

    // An operator command at the simulator's prompt; its first line of output.
    QString simCommand(const QByteArray &line) { return sim_ ? sim_->command(line) : QString(); }
    // The payloads in the simulator's --log, in the order received.
    QList<QByteArray> logged() const;

    QString ptyLink() const { return dir.filePath(QStringLiteral("ttyZOR")); }
    QString logPath() const { return dir.filePath(QStringLiteral("sim.log")); }

    const Transport transport;
    QTemporaryDir dir;
    LinkTrace trace{window.link};
    quint16 tcpPort = 0;

private:
    QStringList simArgs_;
    std::unique_ptr<simtest::SimProcess> sim_;
};

} // namespace zor::e2e
