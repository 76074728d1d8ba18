#pragma once

#include <QByteArray>
#include <QString>

namespace zor {

// The wire text of an entry typed into an input box. Everything goes as typed
// except the framing characters (CR, LF, STX, ETX), which are dropped so that
// no entry can end its frame early or start a second one. A character beyond
// 8 bits becomes "?" rather than its low byte, which could be one of those.
QByteArray typedPayloadText(const QString &entry);

// Wire text for people to read: the framing characters as <STX>, <ETX>, <CR>
// and <LF>, any other control or non-ASCII byte as <xNN>.
QString visibleControls(const QByteArray &text);

} // namespace zor
