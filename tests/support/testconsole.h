#pragma once

#include "datarows.h"
#include "fakeports.h"
#include "scripteddialogs.h"
#include "shell/mainwindow.h"

#include <QLineEdit>
#include <QTest>

namespace zor::test {

// The console every test drives: loaded on a scripted supply (or on real
// ports), on COMM1 in manual update unless told otherwise. The messages shown
// while loading are kept aside in loadMessages.
struct Console {
    ScriptedDialogs dialogs;
    FakeRig rig;
    MainWindow window;
    int ends = 0;
    QStringList loadMessages;

    explicit Console(bool open = true, bool realPorts = false)
        : window(realPorts ? PortFactory::real() : rig.factory()) {
        window.setProgramEnd([this] { ++ends; });
        window.Form_Load();
        loadMessages = dialogs.messages();
        dialogs.shown.clear();
        if (open)
            connectSerial();
    }
    void connectSerial() {
        window.link.open(LinkTarget::serial(QStringLiteral("1")));
        scaleRead();
    }
    void connectNetwork() {
        rig.supply.ethernet = true;
        window.link.open(LinkTarget::tcp(QStringLiteral("supply"), 1));
        (void)QTest::qWaitFor([this] { return window.link.transportOpen(); });
        scaleRead();
    }
    // As if the unit had reported the starting scale, so programming is allowed.
    void scaleRead() {
        window.state.setKvPerBit(window.state.kvPerBit());
        window.state.setMaPerBit(window.state.maPerBit());
    }
    // An empty text leaves the supply silent.
    void answer(const QByteArray &payload, const QByteArray &text, int delayMs = 0) {
        if (text.isEmpty())
            rig.supply.silentOn(payload);
        else
            rig.supply.on(payload, text, delayMs);
    }
    void answerAll(const QList<QByteArray> &payloads, const QByteArray &text) {
        for (const QByteArray &p : payloads)
            rig.supply.on(p, text);
    }
    // Runs the event loop until every command asked for has run (the link
    // works asynchronously: a click only queues its exchanges).
    // What a finished command resumes (a box after it) comes from the event
    // loop too, so the loop turns once more after the link is idle.
    void settle(int limitMs = 5000) const {
        (void)QTest::qWaitFor([this] { return window.link.idle(); }, limitMs);
        QCoreApplication::processEvents();
        (void)QTest::qWaitFor([this] { return window.link.idle(); }, limitMs);
    }
    // What reached the wire once the commands asked for have run.
    QList<QByteArray> sent() const {
        settle();
        return rig.supply.payloads();
    }
    QLineEdit *field(const QString &name) const {
        settle();
        auto *edit = window.findChild<QLineEdit *>(name);
        Q_ASSERT_X(edit, "field", qPrintable(name));
        return edit;
    }
    QStringList texts(const QStringList &names) const {
        QStringList out;
        for (const QString &name : names)
            out << field(name)->text();
        return out;
    }
    // Texts of the boxes of one kind ("message", "input", "confirm", "modal").
    QStringList shown(const QString &kind) const {
        settle();
        return dialogs.texts(kind);
    }
};

inline QString baseColour(const QWidget *w) {
    return w->palette().color(QPalette::Base).name();
}
inline QString textColour(const QWidget *w) {
    return w->palette().color(QPalette::WindowText).name();
}

} // namespace zor::test
