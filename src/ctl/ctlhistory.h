#pragma once

#include <QStringList>
#include <QTextStream>
#include <optional>

namespace zor::ctl {

// "history [TUBE] [--json] [--report-dir DIR]": a tube's figures across its
// runs, from the run records on disk; no supply is needed. Nothing when the
// arguments name another command; else the exit code.
std::optional<int> history(const QStringList &arguments, QTextStream &out, QTextStream &err);

} // namespace zor::ctl
