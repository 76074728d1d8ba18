#include "userconfig/useroptions.h"

#include "link/replycut.h"

namespace zor::userconfig {

QList<QByteArray> optionFields(const QByteArray &reply) {
    QList<QByteArray> fields;
    int from = 5;
    while (fields.size() < OptionCount) {
        const auto field = reply::fieldUntil(reply, from, ',');
        if (!field)
            break;
        fields.append(*field);
        from += static_cast<int>(field->size()) + 1;
    }
    return fields;
}

QString saveWarning(const QByteArray &reply) {
    const auto verdict = reply::charAt(reply, 5);
    if (verdict == '1')
        return QStringLiteral(
            "An invalid arc rate(Time period/Arc Count) of more than 1 arc per second has been\r\n"
            "entered, these values along with the other variables in the command string have\r\n"
            "been disregard by the HVPS.");
    if (verdict == '2')
        return QStringLiteral(
            "The No Arc Detect mode(NAD) has been enabled.  In this mode the HVPS has no Arc "
            "shutdown protection.\r\n"
            "The HVPS is designed to handle an arc rate of 1 arc per second.  Exceeding 1 arc per "
            "second\r\n"
            "could cause damage to the HVPS.  HVPS failure caused by excessive arcing will not be "
            "covered under\r\n"
            "the warranty.");
    return {};
}

} // namespace zor::userconfig
