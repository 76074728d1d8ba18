#include "factory/factoryconfigpage.h"

#include "factory/accesskey.h"
#include "factory/configreadback.h"
#include "link/devicelink.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace zor {

using factory::Param;
using factory::ParamRow;

FactoryConfigPage::FactoryConfigPage(SupplyOps &ops, QWidget *parent)
    : QDialog(parent), ops_(ops), link_(ops.link()), state_(ops.state()) {
    setObjectName(QStringLiteral("frm_config"));
    setWindowTitle(QStringLiteral("Configure"));
    buildLayout();
    Form_Load();
}

void FactoryConfigPage::buildLayout() {
    auto *grid = new QGridLayout(this);
    int row = 0;
    for (const ParamRow &param : factory::paramRows()) {
        auto *button = new QPushButton(QString::fromLatin1(param.caption), this);
        button->setObjectName(QString::fromLatin1(param.button));
        // Nothing reads the boxes back; they only show the last known value.
        auto *box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(param.box));
        box->setReadOnly(true);
        grid->addWidget(button, row, 0);
        grid->addWidget(box, row, 1);
        ++row;
        pair(param.id) = {button, box};
        const Param id = param.id;
        connect(button, &QPushButton::clicked, this, [this, id] { writeParameter(id); });
        if (id == Param::FilamentTurnOn) {
            btn_getConf = new QPushButton(QStringLiteral("Get Configuration"), this);
            btn_getConf->setObjectName(QStringLiteral("btn_getConf"));
            grid->addWidget(btn_getConf, row++, 0);
        }
    }
    Command2 = new QPushButton(QStringLiteral("UnLock"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    grid->addWidget(Command2, row, 0);
    grid->addWidget(Command1, row, 1);

    hardware = pair(Param::Hardware).button;
    model = pair(Param::Model).button;
    progScale = pair(Param::Scaling).button;
    filaPreHeat = pair(Param::PreHeat).button;
    Btn_filTurnOn = pair(Param::FilamentTurnOn).button;
    arc = pair(Param::Arc).button;
    KV_Ramp_Time = pair(Param::KvRampTime).button;
    Btn_mA_Ramp_Time = pair(Param::MaRampTime).button;
    Btn_mA_offset = pair(Param::MaOffset).button;
    Fil_Limit_Max = pair(Param::FilamentLimitMax).button;
    Btn_Fil_Ramp_Time = pair(Param::FilamentRampTime).button;
    Txt_hwd = pair(Param::Hardware).box;
    Txt_modl = pair(Param::Model).box;
    Txt_scale = pair(Param::Scaling).box;
    Txt_preheat = pair(Param::PreHeat).box;
    Txt_FilaOn = pair(Param::FilamentTurnOn).box;
    Txt_arc = pair(Param::Arc).box;
    Txt_rampRate = pair(Param::KvRampTime).box;
    Txt_mA_ramp_rate = pair(Param::MaRampTime).box;
    Txt_mA_Offset = pair(Param::MaOffset).box;
    Txt_Fil_Ramp_Max = pair(Param::FilamentLimitMax).box;
    Txt_Fil_Ramp_Rate = pair(Param::FilamentRampTime).box;

    connect(btn_getConf, &QPushButton::clicked, this, &FactoryConfigPage::btn_getConf_Click);
    connect(Command2, &QPushButton::clicked, this, &FactoryConfigPage::Command2_Click);
    connect(Command1, &QPushButton::clicked, this, &FactoryConfigPage::Command1_Click);
}

void FactoryConfigPage::Form_Load() {
    kvFullScale = QStringLiteral("0");
    for (const ParamRow &param : factory::paramRows()) {
        pair(param.id).button->setEnabled(false);
        pair(param.id).button->setVisible(param.shown);
        pair(param.id).box->setVisible(param.shown);
    }
    btn_getConf->setEnabled(false);
    Command2->setEnabled(true);
    Command1->setEnabled(true);
}

void FactoryConfigPage::Command2_Click() {
    factory::unlockWithAccessKey(*this, ops_, AccessKey, [this] {
        for (QPushButton *button :
             {hardware, model, filaPreHeat, progScale, arc, btn_getConf, Btn_filTurnOn})
            button->setEnabled(true);
    });
}

void FactoryConfigPage::btn_getConf_Click() {
    link_.command(this, [this]() -> Task<> {
        const QByteArray reply = co_await ops_.configurationTask();
        showReadBack(factory::configurationTexts(reply));
    });
}

void FactoryConfigPage::showReadBack(const QStringList &texts) {
    static constexpr Param Boxes[] = {Param::Hardware,   Param::Model,
                                      Param::Scaling,    Param::Scaling,
                                      Param::PreHeat,    Param::KvRampTime,
                                      Param::Arc,        Param::FilamentTurnOn,
                                      Param::MaRampTime, Param::FilamentRampTime,
                                      Param::MaOffset,   Param::FilamentLimitMax};
    for (qsizetype i = 0; i < texts.size() && i < qsizetype(std::size(Boxes)); ++i) {
        QLineEdit *box = pair(Boxes[i]).box;
        if (i == 2) {
            kvFullScale = texts[i];
            box->setText(texts[i]);
        } else if (i == 3) {
            box->setText(kvFullScale + QLatin1Char(',') + texts[i]);
        } else {
            box->setText(texts[i]);
        }
    }
}

void FactoryConfigPage::Command1_Click() {
    model->setEnabled(false);
    hardware->setEnabled(false);
    accept();
}

} // namespace zor
