#include "monitor/identityframe.h"

#include "shell/mainwindow.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace zor {

IdentityFrame::IdentityFrame(frm_SDIMAIN &main)
    : QGroupBox(QStringLiteral("SYSTEM INFORMATION")), main_(main) {
    setObjectName(QStringLiteral("fra_SYSINFO"));
    auto *grid = new QGridLayout(this);
    int row = 0;
    const auto pair = [&](QPushButton *&button, QLineEdit *&field, const char *name,
                          const char *caption, const char *text) {
        button = new QPushButton(QString::fromLatin1(caption), this);
        button->setObjectName(QString::fromLatin1(name));
        field = new QLineEdit(QString::fromLatin1(text), this);
        field->setReadOnly(true);
        grid->addWidget(button, row, 0);
        grid->addWidget(field, row, 1);
        ++row;
    };
    pair(btn_HWREV, txt_HWREV, "btn_HWREV", "Hardware Rev.", "Rev. ??");
    pair(btn_MODNUM, txt_MODNUM, "btn_MODNUM", "Model Number", "Model ??");
    pair(btn_SWREV, txt_SWREV, "btn_SWREV", "Software Rev.", "Rev. ??");
    pair(btn_SWBuild, txt_SWBUILD, "btn_SWBuild", "Software Build", "Build ??");
    pair(btn_serialNum_rqst, txt_serialNum_rqst, "btn_serialNum_rqst", "Serial Number", "");
    connect(btn_HWREV, &QPushButton::clicked, this, &IdentityFrame::btn_HWREV_Click);
    connect(btn_MODNUM, &QPushButton::clicked, this, &IdentityFrame::btn_MODNUM_Click);
    connect(btn_SWREV, &QPushButton::clicked, this, &IdentityFrame::btn_SWREV_Click);
    connect(btn_SWBuild, &QPushButton::clicked, this, &IdentityFrame::btn_SWBuild_Click);
    connect(btn_serialNum_rqst, &QPushButton::clicked, this,
            &IdentityFrame::btn_serialNum_rqst_Click);
}

void IdentityFrame::btn_HWREV_Click() {
    main_.readPayloads({"HWVR;"});
}

void IdentityFrame::btn_MODNUM_Click() {
    main_.readPayloads({"MODR;"});
}

void IdentityFrame::btn_SWREV_Click() {
    main_.readPayloads({"FREV;"});
}

void IdentityFrame::btn_SWBuild_Click() {
    main_.readPayloads({"SOFT;"});
}

void IdentityFrame::btn_serialNum_rqst_Click() {
    main_.readPayloads({"SNUR;"});
}

void IdentityFrame::mnu_HWREV_Click() {}

} // namespace zor
