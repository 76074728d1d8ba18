#pragma once

#include "sim/operatorcommands.h"

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

namespace zor::sim {

// The operator prompt: reads command lines from standard input and prints
// their output. End of input only stops the prompt, never the simulator.
class StdinReader : public QObject {
    Q_OBJECT

public:
    StdinReader(Simulator &sim, QObject *parent = nullptr);
    bool start();

signals:
    void quitRequested();

private:
    void onReadable();
    void prompt();

    OperatorCommands commands_;
    QSocketNotifier *notifier_ = nullptr;
    QByteArray pending_;
    bool interactive_ = false;
};

// Prints to standard output at once, so that a reading process sees it.
void printLine(const QString &text);

} // namespace zor::sim
