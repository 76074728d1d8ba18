#pragma once

#include "link/devicelink.h"
#include "supply/supplystate.h"
#include "ui/consolecontext.h"

#include <QGroupBox>
#include <array>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zor {

class NumEdit;

// "SET DAC CHANNELS": programming the kV and mA setpoints and reading them back.
class SetpointPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit SetpointPanel(ConsoleContext ctx);

    QPushButton *btn_KVSET;
    QPushButton *btn_EMI;
    QPushButton *btn_FILLIM;
    QPushButton *btn_FILPREHEAT;
    QLineEdit *txt_DACA;
    QLineEdit *txt_DACB;

    QGroupBox *fra_CHSEL;
    QRadioButton *opt_DACA;
    QRadioButton *opt_DACB;
    QLabel *lbl_CHMOD;
    NumEdit *ctrl_SCALVAL;
    // Holds the count and drives the coupling; never shown.
    NumEdit *ctrl_BITVAL;
    QPushButton *btn_ACCEPT;
    QPushButton *btn_CANCEL;
    // The transmit step of PROGRAM; never shown.
    QPushButton *btn_UPDATE;

    // The count in the editors and the count the supply last took, per channel.
    qint16 dacNewA = 0, dacNewB = 0;
    qint16 dacAcceptedA = 0, dacAcceptedB = 0;

    // Read-backs of the setpoints in force (poll steps 1 and 2).
    void btn_KVSET_Click();
    void btn_EMI_Click();

    void opt_DACA_Click();
    void opt_DACB_Click();
    void ctrl_BITVAL_ValueChanged(double value);
    void ctrl_SCALVAL_ValueChanged(double value);
    // TRY OUT: transmits the selected channel's edited count.
    void btn_UPDATE_Click();
    // PROGRAM: transmits, and accepts the count once the supply has taken it.
    void btn_ACCEPT_Click();
    // CANCEL: puts the accepted count back into the editor and the supply.
    void btn_CANCEL_Click();

private:
    struct Channel;
    static const Channel ChannelA;
    static const Channel ChannelB;
    static const Channel &channel(zor::Channel c);
    const Channel &selected() const;
    double factor(const Channel &ch) const;
    qint16 &dacNew(const Channel &ch);
    qint16 &dacAccepted(const Channel &ch);
    QLineEdit *valueField(const Channel &ch) const;
    void selectChannel(const Channel &ch);
    // Puts a count into the bit editor and its value into the scaled editor.
    void loadCount(const Channel &ch, qint16 count);
    // One transmit without a bracket of its own; true when the supply took it.
    Task<bool> transmit(const Channel &ch, qint16 count);
    // Refuses, with a message, while the scale of the unit connected is unknown.
    bool scaleKnown() const;
    void showAnswer(const Channel &ch, qint16 count, parse::Ack ack);
    void showReadBack(zor::Channel c, const Reading &r);

    ConsoleContext ctx_;
    // The read-back each field shows, until a programming outcome takes its place.
    std::array<std::optional<Reading>, 2> shown_;
    // Set while one editor is being brought in line with the other, so the
    // echo of that change is not fed back.
    bool coupling_ = false;
};

} // namespace zor
