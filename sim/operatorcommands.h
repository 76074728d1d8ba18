#pragma once

#include <QString>

namespace zor::sim {

class Simulator;

// The operator's controls, one command a line, shared by the stdin prompt and
// the start-up flags (each flag is turned into one of these lines).
class OperatorCommands {
public:
    struct Result {
        bool ok = true;
        bool quit = false;
        QString text; // what to print, possibly empty
    };

    explicit OperatorCommands(Simulator &sim) : sim_(sim) {}

    Result run(const QString &line);
    static QString help();

private:
    Simulator &sim_;
};

} // namespace zor::sim
