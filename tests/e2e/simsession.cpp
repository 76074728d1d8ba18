#include "simsession.h"

#include "link/framecodec.h"
#include "link/frm_gui_baudrate.h"
#include "link/remotehost.h"
#include "link/transportselection.h"
#include "shell/mainmenu.h"

#include <QAction>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace zor::e2e {

bool Exchange::whole() const {
    return reply && reply->startsWith(STX) && (reply->contains(LF) || reply->contains(ETX));
}

LinkTrace::LinkTrace(DeviceLink &link) {
    clock_.start();
    connect(&link, &DeviceLink::transmitted, this, [this](const QByteArray &frame) {
        // Serial: STX payload checksum CR LF; network: STX payload ETX.
        const bool serial = frame.endsWith("\r\n");
        exchanges.push_back({frame.mid(1, frame.size() - (serial ? 4 : 2)), {}, clock_.elapsed()});
        if (onSend)
            onSend(exchanges.back().payload);
    });
    connect(&link, &DeviceLink::received, this, [this](const QByteArray &reply) {
        if (exchanges.empty())
            return;
        exchanges.back().reply = reply;
        exchanges.back().doneMs = clock_.elapsed();
    });
}

std::vector<Exchange> LinkTrace::of(const QByteArray &payload, int from) const {
    std::vector<Exchange> out;
    for (int i = from; i < size(); ++i)
        if (exchanges[i].payload == payload)
            out.push_back(exchanges[i]);
    return out;
}

SimSession::SimSession(Transport transport, const QStringList &simArgs)
    : Console(false, true), transport(transport), simArgs_(simArgs) {
    // Quiet monitors, so every read-back has one right value.
    simArgs_ << QStringLiteral("--noise") << QStringLiteral("0") << QStringLiteral("--log")
             << logPath();
    dialogs.onModal = [this](QDialog &dialog) {
        if (auto *baud = qobject_cast<frm_gui_baudrate *>(&dialog)) {
            baud->ok_Click(); // the first rate offered, 115200
        } else if (auto *host = qobject_cast<RemoteHost *>(&dialog)) {
            host->txtHost->setText(QStringLiteral("127.0.0.1"));
            host->txtPortNumber->setText(QString::number(tcpPort));
            host->OKButton_Click();
        } else {
            QFAIL(qPrintable("unexpected page " + dialog.windowTitle()));
        }
    };
}

bool SimSession::startSim() {
    QStringList args = simArgs_;
    if (transport == Transport::Pty)
        args << QStringLiteral("--pty") << ptyLink();
    else
        args << QStringLiteral("--tcp") << QString::number(tcpPort);
    sim_ = std::make_unique<simtest::SimProcess>();
    QString error;
    if (!sim_->start(args, 1, &error)) {
        qWarning("zor-sim did not start: %s", qPrintable(error));
        return false;
    }
    if (transport == Transport::Tcp)
        tcpPort = sim_->tcpPort();
    return true;
}

void SimSession::selectPort() {
    if (transport == Transport::Pty) {
        dialogs.inputs = {ptyLink()};
        window.menu.mnu_userComm->trigger();
        window.menu.mnu_AUTOUPDATE->trigger();
    } else {
        // Its menu entry stays disabled; the handler is complete all the same.
        window.transport->mnu_ethernet_Click();
    }
}

void SimSession::settle() {
    QSignalSpy replies(&window.link, &DeviceLink::received);
    (void)replies.wait(3000);
}

QList<QByteArray> SimSession::logged() const {
    // Lines are "<ms> <link> <payload>"; the payload may hold blanks.
    QFile file(logPath());
    QList<QByteArray> out;
    if (!file.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (const QByteArrayList parts = line.split(' '); parts.size() > 2)
            out << parts.mid(2).join(' ');
    }
    return out;
}

} // namespace zor::e2e
