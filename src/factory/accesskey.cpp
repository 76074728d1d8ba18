#include "factory/accesskey.h"

#include "link/devicelink.h"
#include "link/payloadtext.h"
#include "platform/dialogs.h"

#include <QDialog>

namespace zor::factory {

void unlockWithAccessKey(QDialog &page, DeviceLink &link, const char *accessKey,
                         const std::function<void()> &unlock) {
    const QString key = dialogs().input(QStringLiteral("Enter Key to UnLock:"), page.windowTitle());
    if (key != QLatin1String(accessKey)) {
        page.reject();
        return;
    }
    unlock();
    link.command(&page, [&link, key]() -> Task<> {
        co_await link.send("PASS " + typedPayloadText(key) + ";");
    });
}

} // namespace zor::factory
