#pragma once

#include <functional>

class QDialog;

namespace zor {

class SupplyOps;

namespace factory {

// Asks for a page's access key, compared exactly with the typed text. The
// right key runs `unlock` (enabling what the key opens) and then hands the key
// to the supply (SupplyOps::unlockTask). A wrong key or Cancel closes the page
// without a word and sends nothing.
void unlockWithAccessKey(QDialog &page, SupplyOps &ops, const char *accessKey,
                         const std::function<void()> &unlock);

} // namespace factory
} // namespace zor
