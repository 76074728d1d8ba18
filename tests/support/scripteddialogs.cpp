#include "scripteddialogs.h"

namespace zor::test {

QStringList ScriptedDialogs::messages() const {
    QStringList out;
    for (const Shown &s : shown)
        if (s.kind == QLatin1String("message"))
            out.append(s.text);
    return out;
}

} // namespace zor::test
