#include "sim/payloadlog.h"

namespace zor::sim {

bool PayloadLog::open(const QString &path, QString *error) {
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (error)
            *error = file_.errorString();
        return false;
    }
    return true;
}

void PayloadLog::write(qint64 ms, const QByteArray &link, const QByteArray &payload) {
    if (!file_.isOpen())
        return;
    file_.write(QByteArray::number(ms) + ' ' + link + ' ' + escape(payload) + '\n');
}

QByteArray PayloadLog::escape(const QByteArray &payload) {
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(payload.size());
    for (const char c : payload) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E || c == '\\') {
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace zor::sim
