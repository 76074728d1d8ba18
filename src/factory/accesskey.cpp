#include "factory/accesskey.h"

#include "link/payloadtext.h"
#include "platform/dialogs.h"
#include "supply/supplyops.h"

#include <QDialog>

namespace zor::factory {

void unlockWithAccessKey(QDialog &page, SupplyOps &ops, const char *accessKey,
                         const std::function<void()> &unlock) {
    const QString key = dialogs().input(QStringLiteral("Enter Key to UnLock:"), page.windowTitle());
    if (key != QLatin1String(accessKey)) {
        page.reject();
        return;
    }
    unlock();
    ops.link().command(
        &page, [&ops, key = typedPayloadText(key)]() -> Task<> { co_await ops.unlockTask(key); });
}

std::optional<QString> askReason(const QWidget &page) {
    return dialogs().inputOrCancel(QStringLiteral("Reason for this change (may be empty):"),
                                   page.windowTitle());
}

} // namespace zor::factory
