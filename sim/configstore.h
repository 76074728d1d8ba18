#pragma once

#include <QByteArray>
#include <QList>

namespace zor::sim {

// Factory configuration as the configuration page reads it back with "CONF;",
// in the order of its twelve fields.
struct FactoryConfig {
    QByteArray hardwareRevision = "A01";
    QByteArray model = "ZOR80HR";
    int fullScaleKv = 8000;     // units of 0.01 kV
    int fullScaleMa = 1400;     // units of 0.001 mA
    int filamentPreheat = 2660; // DAC counts, 1 mA of filament current each
    int kvRampMs = 100;
    int arcMode = 0;          // 0 rides through arcs, 1 shuts down on the first
    int filamentTurnOn = 512; // counts of the kV channel
    int maRampMs = 100;       // the unit takes 1 to 500 ms
    int filamentRampMs = 150; // 50 to 250 ms
    int maOffset = 0;         // counts of the mA channel
    int filamentMax = 1500;   // counts of a 10 A scale

    // Twelve fields, each followed by a comma.
    QByteArray confFields() const;

    // True for the mnemonics this structure stores (HWVP, SLVP, RAMP, ...).
    static bool isParameter(const QByteArray &name);
    // Stores one parameter; false when the value is refused.
    bool write(const QByteArray &name, const QByteArray &argument);
};

// User protection options, carried by "27," and "09," as nine comma-terminated fields.
struct UserOptions {
    int overVoltageOn = 1;
    int overVoltagePercent = 105;
    int rampTenths = 20;
    int overCurrentOn = 0;
    int arcCount = 5;
    int arcPeriodS = 10;
    int quenchMs = 20;
    int reRamp = 1;
    int noArcDetect = 0;

    enum class Verdict { Accepted, AcceptedWithoutArcDetect, ArcRateTooHigh, Invalid };

    QByteArray fields() const;
    // Anything but an acceptance leaves every option unchanged: a rate over one
    // arc per second, a value out of range, or not exactly nine fields.
    Verdict apply(const QList<QByteArray> &fields);
};

// Text fields must not break the supply's own comma- and semicolon-cut replies.
bool isStorableText(const QByteArray &text, qsizetype maxLength);

} // namespace zor::sim
