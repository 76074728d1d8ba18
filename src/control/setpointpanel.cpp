#include "control/setpointpanel.h"

#include "link/devicelink.h"
#include "platform/counts.h"
#include "platform/dialogs.h"
#include "platform/displaymask.h"
#include "platform/numedit.h"
#include "platform/readout.h"
#include "supply/supplyops.h"
#include "ui/stalemarks.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>

namespace zor {

// Everything that differs between the kV channel (A) and the mA channel (B).
struct SetpointPanel::Channel {
    zor::Channel id;
    bool isA;
    const char *caption;
    double scaledMaximum;
    const char *programMask;
};

namespace {

void setFieldColour(QLineEdit *field, const QColor &colour) {
    QPalette p = field->palette();
    p.setColor(QPalette::Base, colour);
    field->setPalette(p);
}

// The largest count a 12-bit setpoint channel holds.
constexpr int FullScaleCount = 4095;

const QColor White(0xFF, 0xFF, 0xFF);
const QColor Yellow(0xFF, 0xFF, 0x00);
const QColor Red(0xFF, 0x00, 0x00);

} // namespace

const SetpointPanel::Channel SetpointPanel::ChannelA{zor::Channel::Kv, true,
                                                     "Now Modifying KV_PROG", 70000.0, "#0.##0"};
const SetpointPanel::Channel SetpointPanel::ChannelB{zor::Channel::Ma, false,
                                                     "Now Modifying MA_PROG", 8.56, "0.##0"};

SetpointPanel::SetpointPanel(ConsoleContext ctx)
    : QGroupBox(QStringLiteral("SET DAC CHANNELS")), ctx_(ctx) {
    setObjectName(QStringLiteral("fra_SETDACS"));
    auto *grid = new QGridLayout(this);
    const auto button = [this](const char *name, const char *caption) {
        auto *b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    btn_KVSET = button("btn_KVSET", "Voltage Setpoint");
    btn_EMI = button("btn_EMI", "Current Setpoint");
    // Present for the manual-control switching, never shown.
    btn_FILLIM = button("btn_FILLIM", "Filament Limit");
    btn_FILPREHEAT = button("btn_FILPREHEAT", "Filament PreHeat");
    btn_FILLIM->hide();
    btn_FILPREHEAT->hide();
    // What the supply runs at: nothing typed may stand in its place.
    txt_DACA = new Readout(QStringLiteral("Channel A"), this);
    txt_DACA->setToolTip(QStringLiteral("Ch. A, U21, Pin 2"));
    txt_DACB = new Readout(QStringLiteral("Channel B"), this);
    txt_DACB->setToolTip(QStringLiteral("Ch. B, U21, Pin 6"));
    (new StaleMarks(ctx_.state, this))->add({txt_DACA, txt_DACB});
    grid->addWidget(btn_KVSET, 0, 0);
    grid->addWidget(txt_DACA, 0, 1);
    grid->addWidget(btn_EMI, 1, 0);
    grid->addWidget(txt_DACB, 1, 1);

    fra_CHSEL = new QGroupBox(QStringLiteral("Program Setpoints"), this);
    fra_CHSEL->setObjectName(QStringLiteral("fra_CHSEL"));
    auto *options = new QHBoxLayout(fra_CHSEL);
    opt_DACA = new QRadioButton(QStringLiteral("KV_PROG"), fra_CHSEL);
    opt_DACA->setObjectName(QStringLiteral("opt_DACA"));
    opt_DACB = new QRadioButton(QStringLiteral("MA_PROG"), fra_CHSEL);
    opt_DACB->setObjectName(QStringLiteral("opt_DACB"));
    opt_DACA->setChecked(true);
    options->addWidget(opt_DACA);
    options->addWidget(opt_DACB);
    grid->addWidget(fra_CHSEL, 2, 0, 1, 2);

    lbl_CHMOD = new QLabel(QString::fromLatin1(ChannelA.caption), this);
    lbl_CHMOD->setObjectName(QStringLiteral("lbl_CHMOD"));
    grid->addWidget(lbl_CHMOD, 3, 0, 1, 2);

    ctrl_SCALVAL = new NumEdit(this);
    ctrl_SCALVAL->setObjectName(QStringLiteral("ctrl_SCALVAL"));
    ctrl_SCALVAL->setRange(0.0, ChannelA.scaledMaximum);
    // The arrows move one count of the selected channel, at the scale known now.
    ctrl_SCALVAL->setIncrementSource([this] { return factor(selected()); });
    grid->addWidget(new QLabel(QStringLiteral("Scaled Value"), this), 4, 0);
    grid->addWidget(ctrl_SCALVAL, 4, 1);

    ctrl_BITVAL = new NumEdit(this);
    ctrl_BITVAL->setObjectName(QStringLiteral("ctrl_BITVAL"));
    ctrl_BITVAL->setRange(0.0, 4095.0);
    ctrl_BITVAL->setIncrement(1.0);
    auto *bitLabel = new QLabel(QStringLiteral("Bit Value"), this);
    grid->addWidget(bitLabel, 5, 0);
    grid->addWidget(ctrl_BITVAL, 5, 1);
    bitLabel->hide();
    ctrl_BITVAL->hide();

    btn_ACCEPT = button("btn_ACCEPT", "PROGRAM");
    btn_ACCEPT->setToolTip(QStringLiteral("Accept Current Value"));
    btn_CANCEL = button("btn_CANCEL", "CANCEL");
    btn_CANCEL->setToolTip(QStringLiteral("Revert to Original Value"));
    btn_UPDATE = button("btn_UPDATE", "TRY OUT");
    btn_UPDATE->setToolTip(QStringLiteral("Transmit New Value to DSP"));
    btn_UPDATE->hide();
    grid->addWidget(btn_ACCEPT, 6, 0);
    grid->addWidget(btn_CANCEL, 6, 1);
    grid->addWidget(btn_UPDATE, 7, 0);

    connect(btn_KVSET, &QPushButton::clicked, this, &SetpointPanel::btn_KVSET_Click);
    connect(btn_EMI, &QPushButton::clicked, this, &SetpointPanel::btn_EMI_Click);
    connect(opt_DACA, &QRadioButton::clicked, this, &SetpointPanel::opt_DACA_Click);
    connect(opt_DACB, &QRadioButton::clicked, this, &SetpointPanel::opt_DACB_Click);
    connect(ctrl_BITVAL, &NumEdit::valueChanged, this, &SetpointPanel::ctrl_BITVAL_ValueChanged);
    connect(ctrl_SCALVAL, &NumEdit::valueChanged, this, &SetpointPanel::ctrl_SCALVAL_ValueChanged);
    connect(btn_UPDATE, &QPushButton::clicked, this, &SetpointPanel::btn_UPDATE_Click);
    connect(btn_ACCEPT, &QPushButton::clicked, this, &SetpointPanel::btn_ACCEPT_Click);
    connect(btn_CANCEL, &QPushButton::clicked, this, &SetpointPanel::btn_CANCEL_Click);
    connect(&ctx_.ops, &SupplyOps::setpointRead, this, &SetpointPanel::showReadBack);
    // CANCEL must not return another unit to a count this one never took.
    connect(&ctx_.state, &SupplyState::unitForgotten, this, [this] {
        dacAcceptedA = dacAcceptedB = 0;
        shown_ = {};
    });
    // A scale read or forgotten changes what the kV read-back means.
    connect(&ctx_.state, &SupplyState::kvPerBitChanged, this, [this](double perBit) {
        Reading r = ctx_.state.setpoint(zor::Channel::Kv);
        if (!r.count || !shown_[0])
            return;
        r.value = *r.count * perBit;
        shown_[0].reset();
        showReadBack(zor::Channel::Kv, r);
    });
}

const SetpointPanel::Channel &SetpointPanel::channel(zor::Channel c) {
    return c == zor::Channel::Kv ? ChannelA : ChannelB;
}

const SetpointPanel::Channel &SetpointPanel::selected() const {
    return opt_DACB->isChecked() ? ChannelB : ChannelA;
}

double SetpointPanel::factor(const Channel &ch) const {
    return ctx_.state.perBit(ch.id);
}

qint16 &SetpointPanel::dacNew(const Channel &ch) {
    return ch.isA ? dacNewA : dacNewB;
}

qint16 &SetpointPanel::dacAccepted(const Channel &ch) {
    return ch.isA ? dacAcceptedA : dacAcceptedB;
}

QLineEdit *SetpointPanel::valueField(const Channel &ch) const {
    return ch.isA ? txt_DACA : txt_DACB;
}

// --- channel selection and the coupled editors ----------------------------

void SetpointPanel::opt_DACA_Click() {
    opt_DACA->setChecked(true);
    selectChannel(ChannelA);
}

void SetpointPanel::opt_DACB_Click() {
    opt_DACB->setChecked(true);
    selectChannel(ChannelB);
}

void SetpointPanel::selectChannel(const Channel &ch) {
    lbl_CHMOD->setText(QString::fromLatin1(ch.caption));
    coupling_ = true;
    ctrl_SCALVAL->setRange(0.0, ch.scaledMaximum);
    coupling_ = false;
    loadCount(ch, dacAccepted(ch));
}

void SetpointPanel::loadCount(const Channel &ch, qint16 count) {
    // Both editors are set outright: leaning on the change signals would leave
    // the other channel's value in the scaled editor whenever the two counts
    // are equal, and the new limits would then clip it into a wrong count.
    coupling_ = true;
    ctrl_BITVAL->setValue(count);
    ctrl_SCALVAL->setValue(ctrl_BITVAL->value() * factor(ch));
    dacNew(ch) = static_cast<qint16>(dacCountFrom(ctrl_BITVAL->value()));
    coupling_ = false;
}

void SetpointPanel::ctrl_BITVAL_ValueChanged(double value) {
    const Channel &ch = selected();
    dacNew(ch) = static_cast<qint16>(dacCountFrom(value));
    if (coupling_)
        return;
    coupling_ = true;
    ctrl_SCALVAL->setValue(value * factor(ch));
    coupling_ = false;
}

void SetpointPanel::ctrl_SCALVAL_ValueChanged(double value) {
    if (coupling_)
        return;
    const Channel &ch = selected();
    const double f = factor(ch);
    coupling_ = true;
    if (std::isfinite(f) && f > 0.0) {
        const double counts = value / f;
        if (counts >= FullScaleCount + 0.5) {
            // Programming full scale instead would be a value nobody asked for.
            ctrl_SCALVAL->setValue(ctrl_BITVAL->value() * f);
            coupling_ = false;
            const QString unit = QString::fromLatin1(info(setpointOf(ch.id)).unit);
            dialogs().message(QStringLiteral("%1 %2 is above the unit's full scale of %3 %2.")
                                  .arg(QLocale::c().toString(value, 'g', 6), unit,
                                       QLocale::c().toString(FullScaleCount * f, 'g', 5)));
            return;
        }
        ctrl_BITVAL->setValue(counts);
    } else {
        // Before the scale is known no count can be made; the editor stays
        // where the count puts it rather than show a value that means nothing.
        ctrl_SCALVAL->setValue(ctrl_BITVAL->value() * (std::isfinite(f) ? f : 0.0));
    }
    coupling_ = false;
}

// --- transmit, program, cancel -----------------------------------------------

Task<bool> SetpointPanel::transmit(const Channel &ch, qint16 count) {
    QLineEdit *field = valueField(ch);
    setFieldColour(field, White);
    field->setText(QStringLiteral("Not Set"));
    shown_[ch.isA ? 0 : 1].reset();
    // Its own answer, not the broadcast: another window's program may answer meanwhile.
    QPointer<SetpointPanel> alive(this);
    const parse::Ack ack = co_await ctx_.ops.programTask(ch.id, count);
    if (!alive)
        co_return false;
    showAnswer(ch, count, ack);
    co_return ack == parse::Ack::Taken;
}

void SetpointPanel::showAnswer(const Channel &ch, qint16 count, parse::Ack ack) {
    QLineEdit *field = valueField(ch);
    if (ack == parse::Ack::Taken) {
        field->setText(formatMask(count * factor(ch), QString::fromLatin1(ch.programMask)) +
                       QString::fromLatin1(info(setpointOf(ch.id)).shownUnit));
        setFieldColour(field, White);
    } else if (ack == parse::Ack::Refused) {
        field->setText(QStringLiteral("Invalid"));
        setFieldColour(field, Yellow);
    } else {
        field->setText(QStringLiteral("No Comms"));
        setFieldColour(field, Red);
    }
}

bool SetpointPanel::scaleKnown() const {
    if (ctx_.state.scaleKnown())
        return true;
    dialogs().message(QStringLiteral(
        "The full scale of the unit now connected has not been read yet. Nothing was sent."));
    return false;
}

// Channel and count are taken at the click: a command held behind another
// exchange must send what the operator saw when clicking, not what the editor
// holds when its turn comes.
void SetpointPanel::btn_UPDATE_Click() {
    if (!scaleKnown())
        return;
    const Channel &ch = selected();
    const qint16 count = dacNew(ch);
    ctx_.link.command(this, [this, &ch, count]() -> Task<> { co_await transmit(ch, count); });
}

void SetpointPanel::btn_ACCEPT_Click() {
    if (!scaleKnown())
        return;
    const Channel &ch = selected();
    const qint16 count = dacNew(ch);
    ctx_.link.command(this, [this, &ch, count]() -> Task<> {
        // Only a count the supply took becomes the one CANCEL returns to;
        // otherwise CANCEL would send a value that was never in force.
        if (co_await transmit(ch, count))
            dacAccepted(ch) = count;
    });
}

void SetpointPanel::btn_CANCEL_Click() {
    if (!scaleKnown())
        return;
    const Channel &ch = selected();
    const qint16 count = dacAccepted(ch);
    loadCount(ch, count);
    ctx_.ops.revertSetpoint(ch.id, count);
}

// --- read-backs ---------------------------------------------------------------

void SetpointPanel::showReadBack(zor::Channel c, const Reading &r) {
    auto &shown = shown_[c == zor::Channel::Kv ? 0 : 1];
    if (shown == r)
        return;
    shown = r;
    const Channel &ch = channel(c);
    QLineEdit *field = valueField(ch);
    // Counts at no scale are no voltage.
    field->setText(ch.isA && !(ctx_.state.kvPerBit() > 0.0) ? QStringLiteral("Unknown")
                                                            : displayText(setpointOf(c), r.value));
    setFieldColour(field, White);
}

void SetpointPanel::btn_KVSET_Click() {
    ctx_.ops.readSetpoint(zor::Channel::Kv);
}

void SetpointPanel::btn_EMI_Click() {
    ctx_.ops.readSetpoint(zor::Channel::Ma);
}

} // namespace zor
