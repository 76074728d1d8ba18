#include "monitor/analogreadbacks.h"

#include "shell/mainwindow.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>

namespace zor {

AnalogReadbacks::AnalogReadbacks(frm_SDIMAIN &main) : QObject(&main), main_(main) {
    const auto field = [](QGroupBox *box, const char *label, const char *text) {
        auto *edit = new QLineEdit(QString::fromLatin1(text), box);
        edit->setReadOnly(true);
        static_cast<QFormLayout *>(box->layout())->addRow(QString::fromLatin1(label), edit);
        return edit;
    };
    fra_READBACKS = new QGroupBox(QStringLiteral("READBACKS"));
    new QFormLayout(fra_READBACKS);
    txt_ADC2 = field(fra_READBACKS, "HV Monitor", "Channel 2");
    txt_ADC3 = field(fra_READBACKS, "MA Current", "Channel 3");
    txt_ADC13 = field(fra_READBACKS, "FIL Monitor", "");
    fra_AUX = new QGroupBox(QStringLiteral("AUXILIARY VOLTAGE"));
    new QFormLayout(fra_AUX);
    txt_ADC1 = field(fra_AUX, "LVPS -15 V", "Channel 1");
    txt_ADC6 = field(fra_AUX, "Temperature", "N/A");
}

void AnalogReadbacks::ReadMonitors() {
    main_.readPayloads({"VMON;", "IMON;", "FMON;"});
}

void AnalogReadbacks::ReadAuxMonitors() {
    main_.readPayloads({"LVPS;", "TEMP;"});
}

void AnalogReadbacks::getScaling_Click() {
    main_.readPayloads({"SLVR ;", "SLIR ;"});
}

} // namespace zor
