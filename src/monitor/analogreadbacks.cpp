#include "monitor/analogreadbacks.h"

#include "platform/displaymask.h"
#include "platform/readout.h"
#include "ui/stalemarks.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>

namespace zor {

AnalogReadbacks::AnalogReadbacks(SupplyState &state, QObject *parent)
    : QObject(parent), state_(state) {
    const auto field = [](QGroupBox *box, const char *name, const char *label, const char *text) {
        auto *edit = new Readout(QString::fromLatin1(text), box);
        edit->setObjectName(QString::fromLatin1(name));
        static_cast<QFormLayout *>(box->layout())->addRow(QString::fromLatin1(label), edit);
        return edit;
    };
    fra_READBACKS = new QGroupBox(QStringLiteral("READBACKS"));
    fra_READBACKS->setObjectName(QStringLiteral("fra_READBACKS"));
    new QFormLayout(fra_READBACKS);
    txt_ADC2 = field(fra_READBACKS, "txt_ADC2", "HV Monitor", "Channel 2");
    txt_ADC3 = field(fra_READBACKS, "txt_ADC3", "MA Current", "Channel 3");
    txt_ADC13 = field(fra_READBACKS, "txt_ADC13", "FIL Monitor", "");
    fra_AUX = new QGroupBox(QStringLiteral("AUXILIARY VOLTAGE"));
    fra_AUX->setObjectName(QStringLiteral("fra_AUX"));
    new QFormLayout(fra_AUX);
    txt_ADC1 = field(fra_AUX, "txt_ADC1", "LVPS -15 V", "Channel 1");
    txt_ADC6 = field(fra_AUX, "txt_ADC6", "Temperature", "N/A");
    (new StaleMarks(state, this))->add({txt_ADC2, txt_ADC3, txt_ADC13, txt_ADC1, txt_ADC6});
    connect(&state, &SupplyState::monitorChanged, this, &AnalogReadbacks::show);
    // The kV monitor's meaning changes with the scale, its counts do not.
    connect(&state, &SupplyState::kvPerBitChanged, this, [this](double perBit) {
        Reading kv = state_.monitor(Monitor::Kv);
        if (kv.count)
            kv.value = *kv.count * perBit;
        show(Monitor::Kv, kv);
    });
}

void AnalogReadbacks::show(Monitor m, const Reading &r) {
    // A reply that was not a count shows on the raw data page only.
    if (!r.count)
        return;
    switch (m) {
    case Monitor::Kv:
        // Counts at no scale are no voltage.
        txt_ADC2->setText(state_.scaleKnown() ? formatMask(r.value, "#0.000") + " kV"
                                              : QStringLiteral("Unknown"));
        break;
    case Monitor::Ma:
        txt_ADC3->setText(formatMask(r.value, "0.000") + " mA");
        break;
    case Monitor::FilamentA:
        txt_ADC13->setText(formatMask(r.value, "0.##0") + " A");
        break;
    case Monitor::LvpsV:
        // The rail's sign is written in front of the mask; a rail gone positive
        // must not show as a doubled minus.
        txt_ADC1->setText((r.value > 0 ? formatMask(r.value, "##.#0")
                                       : QStringLiteral("-") + formatMask(-r.value, "##.#0")) +
                          " V");
        break;
    case Monitor::Temperature:
        txt_ADC6->setText(formatMask(r.value, "##.0"));
        break;
    }
}

} // namespace zor
