#include "monitor/analogreadbacks.h"

#include "diagnostics/frm_rawdata.h"
#include "link/replycut.h"
#include "platform/displaymask.h"
#include "platform/toggleswitch.h"
#include "shell/mainwindow.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>

namespace zor {

namespace {

constexpr double AmpsPerFmonCount = 0.0014652;
constexpr double VoltsPerLvpsCount = 0.006224;
constexpr long long LvpsZeroCount = 3972;
constexpr double TempCountsPerDegree = 13.65;
constexpr double FullScaleCounts = 4095.0;

// Counts and full-scale values are plain decimal digits; a sign is as bad as a letter.
std::optional<long long> countOf(const QByteArray &text) {
    if (text.startsWith('-'))
        return std::nullopt;
    return reply::toInteger(text);
}

} // namespace

AnalogReadbacks::AnalogReadbacks(frm_SDIMAIN &main) : QObject(&main), main_(main) {
    const auto field = [](QGroupBox *box, const char *name, const char *label, const char *text) {
        auto *edit = new QLineEdit(QString::fromLatin1(text), box);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setReadOnly(true);
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
}

bool AnalogReadbacks::readMonitor(const QByteArray &payload, QByteArray &count, int rawIndex,
                                  const std::function<void(long long)> &show,
                                  bool endsUpdateRequest) {
    const QByteArray reply = main_.link.exchange(payload);
    if (reply.isEmpty())
        return true;
    if (endsUpdateRequest)
        main_.btn_UPDATEDATA->setValue(false);
    const auto value = reply::valueBeforeSemicolon(reply);
    if (!value)
        return false;
    // The raw page shows what the supply sent, also when it is not a number.
    count = *value;
    main_.rawData().txt_DATA[rawIndex]->setText(QString::fromLatin1(count));
    const auto number = countOf(count);
    if (!number)
        return false;
    show(*number);
    return true;
}

void AnalogReadbacks::ReadMonitors() {
    main_.command([this] {
        const auto kv = [this](long long n) {
            txt_ADC2->setText(formatMask(n * main_.kvPerBit, "#0.000") + " kV");
        };
        const auto ma = [this](long long n) {
            txt_ADC3->setText(formatMask(n * main_.maPerBit, "0.000") + " mA");
        };
        const auto amps = [this](long long n) {
            txt_ADC13->setText(formatMask(n * AmpsPerFmonCount, "0.##0") + " A");
        };
        if (!readMonitor("VMON;", vmonCount, 2, kv, true))
            return;
        if (!readMonitor("IMON;", imonCount, 3, ma))
            return;
        readMonitor("FMON;", fmonCount, 4, amps);
    });
}

void AnalogReadbacks::ReadAuxMonitors() {
    main_.command([this] {
        const auto rail = [this](long long n) {
            // The rail is negative and its sign is written in front of the mask; a
            // count above the zero point means it has gone positive, which must not
            // show as a doubled minus.
            const double volts = (LvpsZeroCount - n) * VoltsPerLvpsCount;
            const QString shown = volts < 0 ? formatMask(-volts, "##.#0")
                                            : QStringLiteral("-") + formatMask(volts, "##.#0");
            txt_ADC1->setText(shown + " V");
        };
        const auto degrees = [this](long long n) {
            txt_ADC6->setText(formatMask(n / TempCountsPerDegree, "##.0"));
        };
        if (!readMonitor("LVPS;", lvpsCount, 1, rail))
            return;
        readMonitor("TEMP;", tempCount, 0, degrees);
    });
}

std::optional<long long> AnalogReadbacks::readFullScale(const QByteArray &payload, bool &answered) {
    const QByteArray reply = main_.link.exchange(payload);
    answered = !reply.isEmpty();
    if (!answered)
        return std::nullopt;
    // The ';' is searched from position 5, so a value of fewer than three
    // characters has nothing to end it and the reply is bad.
    const auto rest = reply::fieldUntil(reply, 5, ';');
    if (!rest)
        return std::nullopt;
    return countOf(reply.mid(1, 3 + rest->size()));
}

void AnalogReadbacks::getScaling_Click() {
    main_.command([this] {
        bool answered = false;
        const auto volts = readFullScale("SLVR ;", answered);
        if (answered && !volts)
            return; // a bad reply ends the run; after an empty one SLIR is still asked
        if (volts)
            main_.kvPerBit = *volts / 100.0 / FullScaleCounts;
        const auto amps = readFullScale("SLIR ;", answered);
        if (amps)
            main_.maPerBit = *amps / 1000.0 / FullScaleCounts;
    });
}

} // namespace zor
