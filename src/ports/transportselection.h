#pragma once

#include "link/devicelink.h"
#include "ui/consolecontext.h"

#include <QList>
#include <QObject>
#include <QString>

class QAction;
class QWidget;

namespace zor {

class ShellActions;

// The Ports menu: chooses and opens the transport, marks the chosen entry,
// writes the first two status panels, arms the reply timer of that transport
// and starts the status request and auto update where the entry calls for it.
class TransportSelection : public QObject {
    Q_OBJECT
public:
    // The dialogs open over `window`.
    TransportSelection(ConsoleContext ctx, ShellActions &shell, QWidget *window);

    void mnu_comm1_Click();
    void mnu_comm2_Click();
    void mnu_userComm_Click();
    void mnu_USB_Click();
    void mnu_ethernet_Click();

    // A link named at start-up, opened without the dialogs as the matching
    // entry would (the entry is checked); false when it could not be opened,
    // which has been shown as the menu shows it. The status request and the
    // update mode are left to the caller.
    Task<bool> connectSerial(const QString &port, const QString &baud);
    // A target of a kind over TCP.
    Task<bool> connectNetwork(const LinkTarget &target);

    // Tests shorten the connect wait; the console never changes it.
    int connectLimitMs = DeviceLink::ConnectLimitMs;
    // The USB dialog's chosen port text; it outlives the dialog.
    QString usbChosenPortText;
    // The serial port as chosen: "1", "2", the typed text or the USB dialog's text.
    QString commPortText;

private:
    enum class Entry { Comm1, Comm2, UserComm, Usb, Ethernet, SerialOverTcp };
    // One entry of the Ports menu: its caption, the kind it opens, and how it
    // asks for its settings.
    struct Row {
        const char *object;
        const char *caption;
        Entry entry;
        LinkKind kind;
        const char *mode;   // the link mode of a serial entry
        const char *panel1; // what the first status panel says of an entry over TCP
        Task<> (TransportSelection::*ask)(Entry entry);
    };
    static const Row Rows[];
    static const Row &row(Entry entry);
    // What a handler changes before it knows whether the choice can be used.
    struct Before {
        QList<bool> checks;
        bool rcvTimer = false;
        QString panel1;
        QString panel2;
        QString linkMode;
        QString commPortText;
        LinkTarget target;
    };

    void choose(Entry entry);
    Task<> serialPort(Entry entry);
    Task<> userComm(Entry entry);
    Task<> usb(Entry entry);
    Task<> address(Entry entry);
    void askBaudRate();
    // Opens the typed or chosen port (at `baud`, or the port's own settings)
    // and makes it the link.
    Task<bool> openChosen(Entry entry, const QString &portText, const Before &before,
                          const QString &baud = {});
    // Connects to the target, waiting up to the limit; false when a later
    // choice took over meanwhile.
    Task<bool> connectTcp(quint64 choice, LinkTarget target);
    // Opens the serial port; when it will not open, falls back (see fallBack)
    // and says "Invalid Comm Port!".
    Task<bool> openSerial(const LinkTarget &target, const Before &before);
    // After a port that would not open: the transport in use before, if it
    // still works, else none; checks, panels, link mode, watchdog and poll all
    // follow the one that is left.
    Task<> fallBack(const Before &before);
    // A unit opened without the poll would otherwise be programmed at the
    // previous unit's scale.
    void readScaleUnlessPolling();
    void showSerialPanels();
    void showInvalidPort(const QString &reason);
    quint64 begin();
    // With the high voltage on, asks whether to switch it off before the port
    // changes; the "off" then goes out on the port in use. False: stay.
    Task<bool> leaveSupply();
    // A later choice (made inside one of this handler's waits) or the end of
    // the console has taken over; the rest of this handler is void.
    bool superseded(quint64 choice) const;
    QList<QAction *> entries() const;
    void setChecks(Entry chosen);
    Before remember() const;
    void restore(const Before &before);

    ConsoleContext ctx_;
    ShellActions &shell_;
    QWidget *window_;
    quint64 choice_ = 0;
    // The menu's entries in the order of Rows.
    QList<QAction *> actions_;
    // The rate the next serial port opens at: the last chosen or opened one.
    QString rate_;
};

} // namespace zor
