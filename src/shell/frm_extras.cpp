#include "shell/frm_extras.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace zor {

frm_EXTRAS::frm_EXTRAS(FormRegistry &registry) : Form(registry) {
    setWindowTitle(QStringLiteral("EXTRAS!"));
    auto *grid = new QGridLayout(this);
    const auto field = [this] {
        auto *edit = new QLineEdit(QStringLiteral("Text1"), this);
        return edit;
    };
    txt_COMMERRORS = field();
    txt_LASTERROR = field();
    txt_MSCOMMBUFF = field();
    grid->addWidget(new QLabel(QStringLiteral("Comm Errors"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Last Error"), this), 0, 1);
    grid->addWidget(txt_COMMERRORS, 1, 0);
    grid->addWidget(txt_LASTERROR, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("MSComm Buffer"), this), 2, 0, 1, 2);
    grid->addWidget(txt_MSCOMMBUFF, 3, 0, 1, 2);
    txt_MSCOMMBUFF->setMinimumWidth(5 * txt_COMMERRORS->sizeHint().width() / 2);
    Form_Load();
}

void frm_EXTRAS::Form_Load() {
    txt_COMMERRORS->clear();
}

} // namespace zor
