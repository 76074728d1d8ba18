#include "diagnostics/rawdatapage.h"

#include "platform/lamp.h"
#include "platform/readout.h"
#include "platform/toggleswitch.h"
#include "ui/stalemarks.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>

namespace zor {

namespace {

// A straight line drawn on a fixed canvas, from one point to another in the
// canvas's coordinates; relay contacts are shown closed by showing their lines.
class LineShape : public QWidget {
public:
    LineShape(QPoint from, QPoint to, QWidget *canvas) : QWidget(canvas) {
        const QRect box = QRect(from, to).normalized().adjusted(-2, -2, 2, 2);
        setGeometry(box);
        from_ = from - box.topLeft();
        to_ = to - box.topLeft();
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(palette().windowText().color(), 2));
        p.drawLine(from_, to_);
    }

private:
    QPoint from_;
    QPoint to_;
};

Lamp *greenLamp(QWidget *parent) {
    return new Lamp(QColor(0, 255, 0), QColor(0, 64, 0), parent);
}

// Tooltips name the channel and its board reference, as the board is marked.
const std::array<const char *, 16> AdcTips = {
    "Ch. 0, CR45",  "Ch. 1, CR31", "Ch. 2, CR26", "Ch. 3, CR46", "Ch. 4, CR33",  "Ch. 5, CR32",
    "Ch. 6, CR44",  "Ch. 7, CR43", "Ch. 8, CR47", "Ch. 0, CR45", "Ch. 10, CR48", "Ch. 11, CR49",
    "Ch. 12, CR50", "Ch. 0, CR45", "Ch. 0, CR45", "Ch. 0, CR45"};

} // namespace

RawDataPage::RawDataPage(const SupplyState &state, ShellActions &shell) : shell_(shell) {
    setObjectName(QStringLiteral("frm_RAWDATA"));
    setWindowTitle(QStringLiteral("KOB Data (Unscaled) & Status"));
    auto *grid = new QGridLayout(this);

    auto *bar = new QMenuBar(this);
    mnu_misc = bar->addAction(QStringLiteral("Misc Information"));
    mnu_misc->setObjectName(QStringLiteral("mnu_misc"));
    grid->setMenuBar(bar);
    connect(mnu_misc, &QAction::triggered, this, &RawDataPage::mnu_misc_Click);

    fra_ADC = new QGroupBox(QStringLiteral("DSP ADC Data"), this);
    fra_ADC->setObjectName(QStringLiteral("fra_ADC"));
    auto *adc = new QGridLayout(fra_ADC);
    for (int i = 0; i < 16; ++i) {
        const QString channel = QStringLiteral("Channel %1").arg(i);
        QString label = channel;
        if (i == 0)
            label = QStringLiteral("Ambient Temp.");
        else if (i == 1)
            label = QStringLiteral("LVPS +24V");
        // The supply's values only: read-only, repainted from the model.
        txt_DATA[i] = new Readout(channel, fra_ADC);
        txt_DATA[i]->setObjectName(QStringLiteral("txt_DATA_%1").arg(i));
        txt_DATA[i]->setToolTip(QString::fromLatin1(AdcTips[i]));
        adc->addWidget(new QLabel(label, fra_ADC), i, 0);
        adc->addWidget(txt_DATA[i], i, 1);
    }

    const Relay r1 = buildRelay(1, "COM JB5-14", "NC    JB5-11", "NO    JB5-13",
                                "Relay Sense:         High", "AUX  JB8-10 To GND");
    buildRelay(2, "COM JB8-7", "NC    JB8-8", "NO    JB8-6", "Relay Sense:        High",
               "AUX:  JB8-9 To GND");
    buildRelay(3, "COM JB8-3", "NC    JB8-4", "NO    JB8-2", "Relay Sense:        High",
               "AUX:  JB8-5 To GND");
    lbl_INTRLK1 = r1.state;
    led_INTRLK1 = r1.relay;
    led_I1NC = r1.nc;
    led_I1COM = r1.com;
    led_I1NO = r1.no;
    led_RS1 = r1.sense;
    lbl_RS1 = r1.senseLabel;
    lbl_AUX1 = r1.aux;
    line_NC11 = r1.nc1;
    line_NC12 = r1.nc2;
    line_NO11 = r1.no1;
    line_NO12 = r1.no2;
    line_COM1 = r1.comLine;

    fra_DIGIN = new QGroupBox(QStringLiteral("DIGITAL INPUTS"), this);
    fra_DIGIN->setObjectName(QStringLiteral("fra_DIGIN"));
    auto *in = new QGridLayout(fra_DIGIN);
    for (int i = 0; i < 8; ++i) {
        led_IN[i] = greenLamp(fra_DIGIN);
        led_IN[i]->setObjectName(QStringLiteral("led_IN_%1").arg(i));
        in->addWidget(led_IN[i], i, 0);
        in->addWidget(new QLabel(QStringLiteral("IN%1 JB7-%1").arg(i + 1), fra_DIGIN), i, 1);
    }

    fra_DIGOUT = new QGroupBox(QStringLiteral("DIGITAL OUTPUTS"), this);
    fra_DIGOUT->setObjectName(QStringLiteral("fra_DIGOUT"));
    auto *out = new QGridLayout(fra_DIGOUT);
    const std::array<const char *, 5> outLabels = {"OUT1 JB8-1", "OUT2 JB7-12", "OUT3 JB7-11",
                                                   "OUT4 JB7-10", "OUT5 JB7-9"};
    for (int i = 0; i < 5; ++i) {
        btn_DOUT[i] = new ToggleSwitch(QStringLiteral("OFF"), QStringLiteral("ON"), fra_DIGOUT);
        btn_DOUT[i]->setObjectName(QStringLiteral("btn_DOUT_%1").arg(i));
        led_OUT[i] = greenLamp(fra_DIGOUT);
        led_OUT[i]->setObjectName(QStringLiteral("led_OUT_%1").arg(i));
        out->addWidget(btn_DOUT[i], i, 0);
        out->addWidget(led_OUT[i], i, 1);
        out->addWidget(new QLabel(QString::fromLatin1(outLabels[i]), fra_DIGOUT), i, 2);
    }

    fra_DAC = new QGroupBox(QStringLiteral("DAC Data to DSP"), this);
    fra_DAC->setObjectName(QStringLiteral("fra_DAC"));
    auto *dacs = new QGridLayout(fra_DAC);
    const auto dac = [&](int row, const char *name, const char *label) {
        auto *edit = new Readout(QString(), fra_DAC);
        edit->setObjectName(QString::fromLatin1(name));
        dacs->addWidget(new QLabel(QString::fromLatin1(label), fra_DAC), row, 0);
        dacs->addWidget(edit, row, 1);
        return edit;
    };
    txt_RAWDACA = dac(0, "txt_RAWDACA", "DAC A");
    txt_RAWDACB = dac(1, "txt_RAWDACB", "DAC B");
    txt_RAWDACC = dac(2, "txt_RAWDACC", "DAC C");
    txt_RAWDACD = dac(3, "txt_RAWDACD", "DAC D");

    // ADC data on the left, the interlocks across the top, the rest below them.
    grid->addWidget(fra_ADC, 0, 0, 2, 1);
    for (int i = 0; i < 3; ++i)
        grid->addWidget(fra_INTRLK[i], 0, 1 + i);
    grid->addWidget(fra_DIGIN, 1, 1);
    grid->addWidget(fra_DIGOUT, 1, 2);
    grid->addWidget(fra_DAC, 1, 3);
    (new StaleMarks(state, this))
        ->add({txt_DATA[0], txt_DATA[1], txt_DATA[2], txt_DATA[3], txt_DATA[4], txt_RAWDACA,
               txt_RAWDACB, led_INTRLK1, lbl_INTRLK1, led_I1NC, led_I1NO, led_RS1, lbl_RS1,
               lbl_AUX1});
    // Loaded after the first reads, the page shows what the model has so far.
    showReadings(state);
}

RawDataPage::Relay RawDataPage::buildRelay(int n, const char *com, const char *nc, const char *no,
                                           const char *sense, const char *aux) {
    const auto name = [n](const char *prefix, const char *suffix = "") {
        return QString::fromLatin1(prefix) + QString::number(n) + QString::fromLatin1(suffix);
    };
    Relay r{};
    r.frame = new QGroupBox(QStringLiteral("INTERLOCK %1").arg(n), this);
    r.frame->setObjectName(name("fra_INTRLK"));
    fra_INTRLK[n - 1] = r.frame;
    auto *box = new QGridLayout(r.frame);

    r.relay = new Lamp(QColor(255, 0, 0), QColor(64, 0, 0), r.frame);
    r.relay->setObjectName(name("led_INTRLK"));
    r.state = new QLabel(QStringLiteral("De-Energized"), r.frame);
    r.state->setObjectName(name("lbl_INTRLK"));
    box->addWidget(r.relay, 0, 0);
    box->addWidget(r.state, 0, 1);

    // Terminals on the left, the contact drawing on the right: COM in the
    // middle, NC above and NO below; the blade rests on NC while de-energized.
    auto *canvas = new QWidget(r.frame);
    canvas->setFixedSize(190, 84);
    const auto terminal = [&](int y, const char *contact, const char *label) {
        auto *lamp = greenLamp(canvas);
        lamp->setObjectName(name("led_I", contact));
        lamp->setGeometry(0, y - 9, 18, 18);
        auto *text = new QLabel(QString::fromLatin1(label), canvas);
        text->setGeometry(22, y - 9, 100, 18);
        return lamp;
    };
    r.nc = terminal(12, "NC", nc);
    r.com = terminal(42, "COM", com);
    r.no = terminal(72, "NO", no);
    const auto line = [&](QPoint from, QPoint to, const char *kind, const char *part) {
        auto *shape = new LineShape(from, to, canvas);
        shape->setObjectName(name(kind, part));
        return shape;
    };
    r.comLine = line({125, 42}, {145, 42}, "line_COM", "");
    r.nc1 = line({145, 42}, {180, 14}, "line_NC", "1");
    r.nc2 = line({180, 12}, {125, 12}, "line_NC", "2");
    r.no1 = line({145, 42}, {180, 70}, "line_NO", "1");
    r.no2 = line({180, 72}, {125, 72}, "line_NO", "2");
    r.no1->hide();
    r.no2->hide();
    box->addWidget(canvas, 1, 0, 1, 2);

    r.sense = new Lamp(QColor(0, 255, 0), QColor(0, 64, 0), r.frame);
    r.sense->setObjectName(name("led_RS"));
    r.senseLabel = new QLabel(QString::fromLatin1(sense), r.frame);
    r.senseLabel->setObjectName(name("lbl_RS"));
    box->addWidget(r.sense, 2, 0);
    box->addWidget(r.senseLabel, 2, 1);
    r.aux = new QLabel(QString::fromLatin1(aux), r.frame);
    r.aux->setObjectName(name("lbl_AUX"));
    box->addWidget(r.aux, 3, 0, 1, 2);
    return r;
}

void RawDataPage::mnu_misc_Click() {
    shell_.showCommDiagnostics();
}

void RawDataPage::showInterlock1(bool energized) {
    lbl_INTRLK1->setText(energized ? QStringLiteral("Energized") : QStringLiteral("De-Energized"));
    led_INTRLK1->setValue(energized);
    led_I1NC->setValue(energized);
    led_I1NO->setValue(energized);
    line_NO11->setVisible(energized);
    line_NO12->setVisible(energized);
    line_NC11->setVisible(!energized);
    line_NC12->setVisible(!energized);
    lbl_RS1->setText(energized ? QStringLiteral("Relay Sense:          Low")
                               : QStringLiteral("Relay Sense:          High"));
    led_RS1->setValue(energized);
    lbl_AUX1->setText(energized ? QStringLiteral("AUX:  JB8-10 Floats")
                                : QStringLiteral("AUX:  JB8-10 To GND"));
}

void RawDataPage::showReading(Quantity q, const Reading &r) {
    const QuantityInfo &i = info(q);
    if (i.rawAdc >= 0)
        txt_DATA[i.rawAdc]->setText(QString::fromLatin1(r.text));
    if (i.rawDac < 0 || !r.count)
        return;
    // One leading blank unless negative.
    const long long n = *r.count;
    (i.rawDac == 0 ? txt_RAWDACA : txt_RAWDACB)
        ->setText(n < 0 ? QString::number(n) : QStringLiteral(" %1").arg(n));
}

void RawDataPage::showReadings(const SupplyState &state) {
    for (const QuantityInfo &i : Quantities)
        if (const Reading r = state.reading(i.id); r != Reading{})
            showReading(i.id, r);
}

} // namespace zor
