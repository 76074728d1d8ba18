#pragma once

#include <QString>
#include <functional>
#include <optional>

class QDialog;
class QWidget;

namespace zor {

class SupplyOps;

namespace factory {

// Asks for a page's access key, compared exactly with the typed text. The
// right key runs `unlock` (enabling what the key opens) and then hands the key
// to the supply (SupplyOps::unlockTask). A wrong key or Cancel closes the page
// without a word and sends nothing.
void unlockWithAccessKey(QDialog &page, SupplyOps &ops, const char *accessKey,
                         const std::function<void()> &unlock);

// The operator's reason for a service write, for the audit trail: asked in a
// box of its own after the page's own boxes. May be empty; nothing on Cancel,
// and then nothing is sent.
std::optional<QString> askReason(const QWidget &page);

} // namespace factory
} // namespace zor
