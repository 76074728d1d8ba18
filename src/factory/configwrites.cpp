// The parameter writes of the configuration page.
#include "factory/accesskey.h"
#include "factory/factoryconfigpage.h"
#include "link/devicelink.h"
#include "link/payloadtext.h"
#include "platform/dialogs.h"
#include "platform/numbertext.h"
#include "supply/replyparse.h"
#include "supply/supplyops.h"
#include "supply/supplystate.h"

#include <QLineEdit>
#include <QPushButton>

namespace zor {

using factory::Check;
using factory::ParamRow;

void FactoryConfigPage::writeParameter(factory::Param id) {
    const ParamRow &row = factory::paramRow(id);
    // Asked before anything is queued: the poll goes on while the box is open.
    writeEntry(row, dialogs().input(QString::fromLatin1(row.prompt), windowTitle()));
}

void FactoryConfigPage::writeEntry(const ParamRow &row, const QString &entry) {
    // Cancel gives an empty text; writing it would erase what the supply stores.
    if (entry.isEmpty())
        return;
    const auto reason = factory::askReason(*this);
    if (!reason)
        return;
    reason_ = *reason;
    QLineEdit *box = pair(row.id).box;
    switch (row.check) {
    case Check::None:
        box->setText(entry);
        send(row.write, typedPayloadText(entry));
        return;
    case Check::Range: {
        const auto value = decimalNumber(entry);
        if (!value || *value < row.low || *value > row.high)
            return;
        // The number checked, not its spelling: "1e2" goes out as 100.
        const auto number = shortestDecimal(*value);
        if (!number)
            return;
        box->setText(entry);
        send(row.write, *number);
        return;
    }
    case Check::FilamentLimit: {
        const auto amps = decimalNumber(entry);
        if (!amps || *amps > row.high)
            return;
        box->setText(entry);
        sendCount(row, *amps * 4095.0 / 10.0, true);
        return;
    }
    case Check::FilamentTurnOn:
        box->setText(entry);
        filamentTurnOn(row, entry);
        return;
    case Check::MaOffset: {
        box->setText(entry);
        if (!(state_.maPerBit() > 0.0))
            return;
        if (const auto ma = decimalNumber(entry))
            sendCount(row, *ma * 4095.0 / (state_.maPerBit() * 4095.0), false);
        return;
    }
    case Check::Scaling:
        programScaling(entry);
        return;
    }
}

void FactoryConfigPage::filamentTurnOn(const ParamRow &row, const QString &entry) {
    // The supply's own scale when it has been read, else the one on this page.
    double counts = 0.0;
    if (state_.kvPerBit() > 0.0) {
        const auto kv = decimalNumber(entry);
        if (!kv)
            return;
        counts = *kv * 4095.0 / (state_.kvPerBit() * 4095.0);
    } else if (const double full = decimalNumber(kvFullScale).value_or(0.0); full > 0.0) {
        const auto kv = decimalNumber(entry);
        if (!kv)
            return;
        counts = *kv * 4095.0 / full;
    } else {
        dialogs().message(QStringLiteral("Please Set Unit Scaling!"));
        return;
    }
    sendCount(row, counts, false);
}

void FactoryConfigPage::sendCount(const ParamRow &row, double value, bool floored) {
    const auto counts = floored ? flooredCount(value) : roundedCount(value);
    if (!counts)
        return;
    send(row.write, QByteArray::number(*counts));
}

void FactoryConfigPage::programScaling(const QString &entry) {
    Txt_scale->setText(entry);
    const auto comma = entry.indexOf(QLatin1Char(','));
    if (comma < 0)
        return;
    const QString kvText = entry.left(comma);
    const auto kv = decimalNumber(kvText);
    if (!kv)
        return;
    const auto kvArgument = shortestDecimal(*kv * 100.0);
    if (!kvArgument)
        return;
    const auto ma = decimalNumber(entry.mid(comma + 1));
    const auto maArgument = ma ? shortestDecimal(*ma * 1000.0) : std::nullopt;
    if (!maArgument)
        return;
    // A zero or negative full scale would make every conversion meaningless.
    if (!(*kv > 0.0) || !(*ma > 0.0)) {
        dialogs().message(QStringLiteral("The full scales must be positive numbers: kV,mA."),
                          windowTitle());
        return;
    }
    // The full scales follow the supply: stored only once it took them.
    link_.command(this,
                  [this, kvArgument = *kvArgument, maArgument = *maArgument, kv = *kv, kvText,
                   reason = reason_]() -> Task<> {
                      if (co_await ops_.programScalingTask(kvArgument, maArgument, kv, reason))
                          kvFullScale = kvText;
                  });
}

void FactoryConfigPage::send(FactoryWrite write, const QByteArray &argument) {
    link_.command(this, [this, write, argument, reason = reason_]() -> Task<> {
        co_await ops_.factoryWriteTask(write, argument, reason);
    });
}

} // namespace zor
