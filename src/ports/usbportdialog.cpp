#include "ports/usbportdialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>

namespace zor {

namespace {

const char *const UsbSetup =
    "<p align=\"center\"><u><b>USB Interface Setup</b></u></p>"
    "<p>The integral USB interface of the power supply needs the installation steps below "
    "before it can be used.</p>"
    "<ol>"
    "<li>Save the HID-to-COM driver of the USB bridge to the desktop or to the root of "
    "drive C:.</li>"
    "<li>Power up the power supply.</li>"
    "<li>Connect the power supply to a free USB port of the PC with a USB-A to USB-B "
    "cable.</li>"
    "<li>When the Found New Hardware wizard asks for the drivers, browse to the folder of "
    "step 1.</li>"
    "<li>Open the Device Manager (from the System Properties or the Control Panel).</li>"
    "<li>Under \"Ports (COM &amp; LPT)\" find the port of the USB bridge and its COM number."
    "<ol type=\"a\"><li>If no number is shown, try port numbers in this dialog until the "
    "right one is found.</li></ol></li>"
    "<li>Record the COM number.</li>"
    "<li>Enter the COM number in the field of this dialog. The operating system may assign "
    "a different number from one start of the PC to the next.</li>"
    "</ol>";

} // namespace

UsbPortDialog::UsbPortDialog(FormRegistry &, QString &chosenPortText, QWidget *parent)
    : QDialog(parent), chosenPortText_(chosenPortText) {
    setObjectName(QStringLiteral("frm_USB"));
    setWindowTitle(QStringLiteral("USB Setup and Documentation"));
    auto *grid = new QGridLayout(this);
    txt_USBPORT = new QLineEdit(QStringLiteral("3"), this);
    txt_USBPORT->setObjectName(QStringLiteral("txt_USBPORT"));
    btn_DONE = new QPushButton(QStringLiteral("DONE"), this);
    btn_DONE->setObjectName(QStringLiteral("btn_DONE"));
    rtf_USBDOCS = new QTextEdit(this);
    rtf_USBDOCS->setObjectName(QStringLiteral("rtf_USBDOCS"));
    rtf_USBDOCS->setReadOnly(true);
    rtf_USBDOCS->setHtml(QString::fromLatin1(UsbSetup));
    // Tall enough that the steps read without scrolling.
    rtf_USBDOCS->setMinimumWidth(420);
    rtf_USBDOCS->document()->setTextWidth(rtf_USBDOCS->minimumWidth() -
                                          2 * rtf_USBDOCS->frameWidth() -
                                          rtf_USBDOCS->fontMetrics().averageCharWidth());
    rtf_USBDOCS->setMinimumHeight(static_cast<int>(rtf_USBDOCS->document()->size().height()) +
                                  2 * rtf_USBDOCS->frameWidth() +
                                  rtf_USBDOCS->fontMetrics().lineSpacing());
    grid->addWidget(new QLabel(QStringLiteral("USB Comm Port"), this), 0, 0);
    grid->addWidget(txt_USBPORT, 1, 0);
    grid->addWidget(btn_DONE, 2, 0);
    grid->setRowStretch(3, 1);
    grid->addWidget(rtf_USBDOCS, 0, 1, 4, 1);
    connect(btn_DONE, &QPushButton::clicked, this, &UsbPortDialog::btn_DONE_Click);
}

void UsbPortDialog::btn_DONE_Click() {
    chosenPortText_ = txt_USBPORT->text();
    accept();
}

} // namespace zor
