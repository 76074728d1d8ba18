#pragma once

#include "ui/formregistry.h"

class QLineEdit;

namespace zor {

// "EXTRAS!": failed-reply count, last unexpected answer, and what the serial
// port still held after the last reply. Written whether shown or not.
class CommDiagnosticsPage : public Form {
    Q_OBJECT
public:
    CommDiagnosticsPage();

    QLineEdit *txt_COMMERRORS;
    QLineEdit *txt_LASTERROR;
    QLineEdit *txt_MSCOMMBUFF;

    // The failed-reply count as every writer shows it: one blank, then the number.
    static QString countText(qint32 count);

private:
    void Form_Load();
};

} // namespace zor
