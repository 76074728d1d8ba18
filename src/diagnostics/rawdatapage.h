#pragma once

#include "supply/supplystate.h"
#include "ui/formregistry.h"
#include "ui/shellactions.h"

#include <array>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace zor {

class Lamp;
class ToggleSwitch;

// "KOB Data (Unscaled) & Status": raw counts and relay states, written by the
// handlers of other windows whether the page is shown or not.
class RawDataPage : public Form {
    Q_OBJECT
public:
    RawDataPage(const SupplyState &state, ShellActions &shell);

    // "DAC Data to DSP"
    QGroupBox *fra_DAC;
    QLineEdit *txt_RAWDACA;
    QLineEdit *txt_RAWDACB;
    QLineEdit *txt_RAWDACC;
    QLineEdit *txt_RAWDACD;
    // "DSP ADC Data"
    QGroupBox *fra_ADC;
    std::array<QLineEdit *, 16> txt_DATA{};
    // "DIGITAL INPUTS" and "DIGITAL OUTPUTS": display only.
    QGroupBox *fra_DIGIN;
    std::array<Lamp *, 8> led_IN{};
    QGroupBox *fra_DIGOUT;
    std::array<ToggleSwitch *, 5> btn_DOUT{};
    std::array<Lamp *, 5> led_OUT{};

    // "INTERLOCK 1" .. "INTERLOCK 3"; the elements of 2 and 3 carry their
    // names as object names (led_INTRLK2, line_NC31, ...).
    std::array<QGroupBox *, 3> fra_INTRLK{};
    QLabel *lbl_INTRLK1;
    Lamp *led_INTRLK1;
    Lamp *led_I1NC;
    Lamp *led_I1COM;
    Lamp *led_I1NO;
    Lamp *led_RS1;
    QLabel *lbl_RS1;
    QLabel *lbl_AUX1;
    QWidget *line_NC11;
    QWidget *line_NC12;
    QWidget *line_NO11;
    QWidget *line_NO12;
    QWidget *line_COM1;

    // The page's own menu: "Misc Information".
    QAction *mnu_misc;
    void mnu_misc_Click();

    // Interlock 1 follows the acknowledged high-voltage state.
    void showInterlock1(bool energized);
    // A monitor's raw field shows what the supply sent, also when it is not a
    // number; a set-point's DAC field its count.
    void showReading(Quantity q, const Reading &r);
    // Everything the model has read so far, for a page loaded after the reads.
    void showReadings(const SupplyState &state);

private:
    ShellActions &shell_;
    struct Relay {
        QGroupBox *frame;
        QLabel *state;
        Lamp *relay, *nc, *com, *no, *sense;
        QLabel *senseLabel, *aux;
        QWidget *nc1, *nc2, *no1, *no2, *comLine;
    };
    Relay buildRelay(int n, const char *com, const char *nc, const char *no, const char *sense,
                     const char *aux);
};

} // namespace zor
