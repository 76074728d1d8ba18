#pragma once

#include "ui/consolecontext.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>

namespace zor {

class ShellActions;

// The main window's service and help entries: the unscaled data page, the
// pass-through toggle, the operator guide and the about screen (which
// reveals the special function mode).
class DiagnosticsMenu : public QObject {
    Q_OBJECT
public:
    DiagnosticsMenu(ConsoleContext ctx, ShellActions &shell, QObject *parent);

    void mnu_RAWDATA_Click();
    void mnu_PASSTHRU_Click();
    void mnu_GUIDE_Click();
    void mnu_ABOUT_Click();

    // The installed guide, beside the program as the package lays it out.
    QString guideFile;
    // Hands a document to the desktop's viewer; tests put their own here.
    std::function<bool(const QUrl &)> openDocument;

private:
    ConsoleContext ctx_;
    ShellActions &shell_;
};

} // namespace zor
