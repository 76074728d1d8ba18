#include "diagnostics/frm_rawdata.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace zor {

frm_RAWDATA::frm_RAWDATA(FormRegistry &registry) : Form(registry) {
    setWindowTitle(QStringLiteral("KOB Data (Unscaled) & Status"));
    auto *grid = new QGridLayout(this);
    const auto dac = [&](int row, const char *label) {
        auto *edit = new QLineEdit(this);
        grid->addWidget(new QLabel(QString::fromLatin1(label), this), row, 2);
        grid->addWidget(edit, row, 3);
        return edit;
    };
    txt_RAWDACA = dac(0, "DAC A");
    txt_RAWDACB = dac(1, "DAC B");
    txt_RAWDACC = dac(2, "DAC C");
    txt_RAWDACD = dac(3, "DAC D");
    for (int i = 0; i < 16; ++i) {
        txt_DATA[i] = new QLineEdit(QStringLiteral("Channel %1").arg(i), this);
        grid->addWidget(txt_DATA[i], i, 1);
    }
}

void frm_RAWDATA::showInterlock1(bool) {}

} // namespace zor
