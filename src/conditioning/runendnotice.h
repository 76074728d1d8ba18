#pragma once

#include "ui/formregistry.h"

#include <QUrl>
#include <functional>

class QLabel;
class QPushButton;

namespace zor {

// "Run Ended": how a run ended and where its report is, shown without
// holding anything up (not a modal box). Open hands the report to
// openDocument (the desktop's viewer; tests put their own here).
class RunEndNotice : public Form {
    Q_OBJECT
public:
    RunEndNotice();

    QLabel *lbl_ENDED;
    QLabel *lbl_REPORT;
    QPushButton *btn_OPEN;
    QPushButton *btn_CLOSE;
    std::function<bool(const QUrl &)> openDocument;

    // `what` names the run ("Seasoning"); the verdict is read from the
    // report's JSON twin.
    void tell(const QString &what, const QString &report);
    void btn_OPEN_Click();

private:
    QString report_;
};

} // namespace zor
