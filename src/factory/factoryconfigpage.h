#pragma once

#include "factory/configparams.h"

#include <QDialog>
#include <QString>
#include <array>

class QLineEdit;
class QPushButton;

namespace zor {

class DeviceLink;
class SupplyOps;
class SupplyState;

// "Configure": the supply's factory configuration behind an access key. Reads
// the stored configuration back and writes each factory parameter.
class FactoryConfigPage : public QDialog {
    Q_OBJECT
public:
    static constexpr const char *AccessKey = "7061";

    FactoryConfigPage(SupplyOps &ops, QWidget *parent);

    // Full-scale kV as text ("88.89"); "0" until read back or programmed.
    QString kvFullScale;

    QPushButton *hardware;
    QPushButton *model;
    QPushButton *progScale;
    QPushButton *filaPreHeat;
    QPushButton *Btn_filTurnOn;
    QPushButton *btn_getConf;
    QPushButton *arc;
    QPushButton *KV_Ramp_Time;
    QPushButton *Btn_mA_Ramp_Time;
    QPushButton *Btn_mA_offset;
    QPushButton *Fil_Limit_Max;
    QPushButton *Btn_Fil_Ramp_Time;
    QPushButton *Command2;
    QPushButton *Command1;

    QLineEdit *Txt_hwd;
    QLineEdit *Txt_modl;
    QLineEdit *Txt_scale;
    QLineEdit *Txt_preheat;
    QLineEdit *Txt_FilaOn;
    QLineEdit *Txt_arc;
    QLineEdit *Txt_rampRate;
    QLineEdit *Txt_mA_ramp_rate;
    QLineEdit *Txt_mA_Offset;
    QLineEdit *Txt_Fil_Ramp_Max;
    QLineEdit *Txt_Fil_Ramp_Rate;

    void Form_Load();
    void Command2_Click();
    void btn_getConf_Click();
    void Command1_Click();

    void hardware_Click() { writeParameter(factory::Param::Hardware); }
    void model_Click() { writeParameter(factory::Param::Model); }
    void progScale_Click() { writeParameter(factory::Param::Scaling); }
    void filaPreHeat_Click() { writeParameter(factory::Param::PreHeat); }
    void Btn_filTurnOn_Click() { writeParameter(factory::Param::FilamentTurnOn); }
    void arc_Click() { writeParameter(factory::Param::Arc); }
    void KV_Ramp_Time_Click() { writeParameter(factory::Param::KvRampTime); }
    void Btn_mA_Ramp_Time_Click() { writeParameter(factory::Param::MaRampTime); }
    void Btn_mA_offset_Click() { writeParameter(factory::Param::MaOffset); }
    void Fil_Limit_Max_Click() { writeParameter(factory::Param::FilamentLimitMax); }
    void Btn_Fil_Ramp_Time_Click() { writeParameter(factory::Param::FilamentRampTime); }

private:
    // The reason given for the write being asked for, for the audit trail.
    QString reason_;
    struct Pair {
        QPushButton *button;
        QLineEdit *box;
    };
    Pair &pair(factory::Param id) { return pairs_[static_cast<std::size_t>(id)]; }
    void buildLayout();
    void showReadBack(const QStringList &texts);
    // One parameter write: prompt, check, text box, conversion, command.
    void writeParameter(factory::Param id);
    void writeEntry(const factory::ParamRow &row, const QString &entry);
    void sendCount(const factory::ParamRow &row, double value, bool floored);
    void filamentTurnOn(const factory::ParamRow &row, const QString &entry);
    void programScaling(const QString &entry);
    void send(FactoryWrite write, const QByteArray &argument);

    SupplyOps &ops_;
    DeviceLink &link_;
    SupplyState &state_;
    std::array<Pair, factory::ParamCount> pairs_{};
};

} // namespace zor
