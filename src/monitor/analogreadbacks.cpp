#include "monitor/analogreadbacks.h"

#include "platform/readout.h"
#include "ui/stalemarks.h"

#include <QFormLayout>
#include <QGroupBox>

namespace zor {

AnalogReadbacks::AnalogReadbacks(SupplyState &state, QObject *parent)
    : QObject(parent), state_(state) {
    const auto frame = [](const char *name, const char *caption) {
        auto *box = new QGroupBox(QString::fromLatin1(caption));
        box->setObjectName(QString::fromLatin1(name));
        new QFormLayout(box);
        return box;
    };
    fra_READBACKS = frame("fra_READBACKS", "READBACKS");
    fra_AUX = frame("fra_AUX", "AUXILIARY VOLTAGE");
    for (const QuantityInfo &q : Quantities) {
        QGroupBox *box = q.panel == Panel::Readbacks   ? fra_READBACKS
                         : q.panel == Panel::Auxiliary ? fra_AUX
                                                       : nullptr;
        if (!box)
            continue;
        auto *edit = new Readout(QString::fromLatin1(q.initialText), box);
        edit->setObjectName(QString::fromLatin1(q.field));
        static_cast<QFormLayout *>(box->layout())->addRow(QString::fromLatin1(q.label), edit);
        fields_[int(q.id)] = edit;
    }
    auto *marks = new StaleMarks(state, this);
    for (QLineEdit *f : fields_)
        if (f)
            marks->add({f});
    connect(&state, &SupplyState::readingChanged, this, &AnalogReadbacks::show);
    // The kV monitor's meaning changes with the scale, its counts do not.
    connect(&state, &SupplyState::kvPerBitChanged, this, [this](double perBit) {
        Reading kv = state_.reading(Quantity::KvMonitor);
        if (kv.count)
            kv.value = *kv.count * perBit;
        show(Quantity::KvMonitor, kv);
    });
}

void AnalogReadbacks::show(Quantity q, const Reading &r) {
    // A reply that was not a count shows on the raw data page only.
    QLineEdit *field = fields_[int(q)];
    if (!r.count || !field)
        return;
    // Counts at no scale are no voltage. A line edit repaints on every
    // setText, and two counts may read the same.
    const QString text = q == Quantity::KvMonitor && !(state_.kvPerBit() > 0.0)
                             ? QStringLiteral("Unknown")
                             : displayText(q, r.value);
    if (text != field->text())
        field->setText(text);
}

} // namespace zor
