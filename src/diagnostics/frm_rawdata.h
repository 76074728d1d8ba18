#pragma once

#include "shell/formregistry.h"

#include <array>

class QLabel;
class QLineEdit;

namespace zor {

class Lamp;

// "KOB Data (Unscaled) & Status": raw counts and relay states, written by the
// handlers of other windows whether the page is shown or not.
class frm_RAWDATA : public Form {
    Q_OBJECT
public:
    explicit frm_RAWDATA(FormRegistry &registry);

    QLineEdit *txt_RAWDACA;
    QLineEdit *txt_RAWDACB;
    QLineEdit *txt_RAWDACC;
    QLineEdit *txt_RAWDACD;
    std::array<QLineEdit *, 16> txt_DATA{};

    // Interlock 1 follows the acknowledged high-voltage state.
    void showInterlock1(bool energized);
};

} // namespace zor
