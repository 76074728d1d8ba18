#include "diagnostics/commdiagnosticspage.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace zor {

CommDiagnosticsPage::CommDiagnosticsPage() {
    setObjectName(QStringLiteral("frm_EXTRAS"));
    setWindowTitle(QStringLiteral("EXTRAS!"));
    auto *grid = new QGridLayout(this);
    const auto field = [this](const char *name) {
        auto *edit = new QLineEdit(QStringLiteral("Text1"), this);
        edit->setObjectName(QString::fromLatin1(name));
        return edit;
    };
    txt_COMMERRORS = field("txt_COMMERRORS");
    txt_LASTERROR = field("txt_LASTERROR");
    txt_MSCOMMBUFF = field("txt_MSCOMMBUFF");
    // Five equal columns: the two counts at the ends of the top row, the
    // buffer across all five below them.
    for (int column = 0; column < 5; ++column)
        grid->setColumnStretch(column, 1);
    grid->addWidget(new QLabel(QStringLiteral("Comm Errors"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Last Error"), this), 0, 4);
    grid->addWidget(txt_COMMERRORS, 1, 0);
    grid->addWidget(txt_LASTERROR, 1, 4);
    grid->addWidget(new QLabel(QStringLiteral("MSComm Buffer"), this), 2, 0, 1, 5);
    grid->addWidget(txt_MSCOMMBUFF, 3, 0, 1, 5);
    Form_Load();
}

void CommDiagnosticsPage::Form_Load() {
    txt_COMMERRORS->clear();
}

QString CommDiagnosticsPage::countText(qint32 count) {
    return QStringLiteral(" %1").arg(count);
}

} // namespace zor
