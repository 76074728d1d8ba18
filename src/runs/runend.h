#pragma once

#include <QString>

namespace zor::runs {

// How a seasoning run or a cycle test ended, as its record and report say it.
enum class RunEnd { Completed, Stopped, XrayOff, Abandoned, LinkLost, Shutdown, Interrupted };

inline QString endText(RunEnd end) {
    switch (end) {
    case RunEnd::Completed:
        return QStringLiteral("completed");
    case RunEnd::Stopped:
        return QStringLiteral("stopped");
    case RunEnd::XrayOff:
        return QStringLiteral("X-ray off");
    case RunEnd::Abandoned:
        return QStringLiteral("abandoned");
    case RunEnd::LinkLost:
        return QStringLiteral("link lost");
    case RunEnd::Shutdown:
        return QStringLiteral("shutdown");
    case RunEnd::Interrupted:
        break;
    }
    return QStringLiteral("interrupted");
}

} // namespace zor::runs
