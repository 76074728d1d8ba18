#pragma once

#include <QString>
#include <QtGlobal>

namespace zor::tools {

// Shutdown and Exit, clicked at a random moment against the simulated supply
// in a random state, many times over. Each run is a child process of this
// program (`--shutdown-run SEED`), so a console that hangs or crashes costs one
// run, and runs go side by side.

// Runs `count` shutdowns `jobs` at a time, seeds from `seed` on; prints each
// failed run and a tally by state. Returns the exit status: 0 when all passed.
int runShutdowns(const QString &self, const QString &simProgram, int count, int jobs, quint32 seed);

// One run in this process: prints one "run" line and returns 0 when it passed.
int shutdownOnce(const QString &simProgram, quint32 seed);

} // namespace zor::tools
