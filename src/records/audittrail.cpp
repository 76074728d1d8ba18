#include "records/audittrail.h"

#include "platform/isotime.h"

#include "supply/supplyops.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLockFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>

namespace zor {

namespace {

const QByteArray HashKey = QByteArrayLiteral(",\"hash\":\"");

QByteArray jsonText(const QString &value) {
    if (value.isNull())
        return QByteArrayLiteral("null");
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QByteArray sha256(const QByteArray &text) {
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex();
}

QString osUser() {
    for (const char *name : {"USER", "LOGNAME", "USERNAME"})
        if (const QString user = qEnvironmentVariable(name); !user.isEmpty())
            return user;
    return {};
}

QString orNull(const QString &text) {
    return text.isEmpty() ? QString() : text;
}

// The lines of a file's text; a last line without its newline still counts.
QList<QByteArray> linesOf(const QByteArray &text) {
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

QString defaultAuditFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/ZOR/ZOR80HR Interface/audit");
}

QByteArray auditGenesis() {
    return QByteArray(64, '0');
}

QByteArray auditLine(const AuditFields &fields, const QByteArray &prev) {
    QByteArray line = "{";
    for (const auto &[key, value] : fields)
        line += jsonText(key) + ':' + jsonText(value) + ',';
    line += "\"prev\":\"" + prev + '"';
    return line + HashKey + sha256(line) + "\"}";
}

QByteArray auditLineHash(const QByteArray &line) {
    static const QRegularExpression tail(QStringLiteral(",\"hash\":\"([0-9a-f]{64})\"\\}$"));
    const auto m = tail.match(QString::fromUtf8(line));
    return m.hasMatch() ? m.captured(1).toLatin1() : sha256(line);
}

std::optional<AuditBreak> verifyChain(const QList<AuditFile> &files, int *entries) {
    QByteArray prev = auditGenesis();
    int count = 0;
    for (const AuditFile &file : files) {
        const QList<QByteArray> lines = linesOf(file.text);
        for (int i = 0; i < lines.size(); ++i) {
            const QByteArray &line = lines[i];
            const auto broken = [&](const QString &why) {
                return AuditBreak{file.name, i + 1, why};
            };
            const qsizetype at = line.lastIndexOf(HashKey);
            if (at < 0 || !line.endsWith("\"}") || line.size() - at != HashKey.size() + 66)
                return broken(QStringLiteral("not an entry of the trail"));
            const QByteArray body = line.left(at);
            if (sha256(body) != line.mid(at + HashKey.size(), 64))
                return broken(QStringLiteral("its hash does not match its text: the line was "
                                             "changed"));
            const QJsonObject entry = QJsonDocument::fromJson(body + '}').object();
            if (entry.value(QStringLiteral("prev")).toString().toLatin1() != prev)
                return broken(
                    i == 0 ? QStringLiteral("does not follow the last line of the month before")
                           : QStringLiteral("does not follow line %1: a line was removed, moved "
                                            "or changed before it")
                                 .arg(i));
            prev = line.mid(at + HashKey.size(), 64);
            ++count;
        }
    }
    if (entries)
        *entries = count;
    return std::nullopt;
}

QList<AuditFile> readAuditFiles(const QString &folder) {
    QList<AuditFile> files;
    const QDir dir(folder);
    static const QRegularExpression month(QStringLiteral("^\\d{4}-\\d{2}\\.jsonl$"));
    for (const QString &name :
         dir.entryList({QStringLiteral("*.jsonl")}, QDir::Files, QDir::Name)) {
        if (!month.match(name).hasMatch())
            continue;
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            files.append({name, f.readAll()});
    }
    return files;
}

QList<QJsonObject> auditEntries(const QList<AuditFile> &files) {
    QList<QJsonObject> out;
    for (const AuditFile &file : files)
        for (const QByteArray &line : linesOf(file.text))
            if (const QJsonDocument doc = QJsonDocument::fromJson(line); doc.isObject())
                out.append(doc.object());
    return out;
}

QStringList auditColumns() {
    return {QStringLiteral("time"),    QStringLiteral("user"),    QStringLiteral("host"),
            QStringLiteral("program"), QStringLiteral("version"), QStringLiteral("serial"),
            QStringLiteral("link"),    QStringLiteral("action"),  QStringLiteral("before"),
            QStringLiteral("after"),   QStringLiteral("outcome"), QStringLiteral("reason")};
}

QString auditCsv(const QList<QJsonObject> &entries) {
    const auto cell = [](QString text) {
        if (text.contains(u',') || text.contains(u'"') || text.contains(u'\n'))
            text = u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
        return text;
    };
    QString csv = auditColumns().join(u',') + u'\n';
    for (const QJsonObject &e : entries) {
        QStringList row;
        for (const QString &c : auditColumns())
            row << cell(e.value(c).toString());
        csv += row.join(u',') + u'\n';
    }
    return csv;
}

AuditTrail::AuditTrail(SupplyOps &ops, const QString &program, const QString &folder,
                       QObject *parent)
    : QObject(parent), state_(ops.state()), program_(program), folder_(folder),
      clock_([] { return QDateTime::currentDateTimeUtc(); }) {
    connect(&ops, &SupplyOps::audited, this, &AuditTrail::record);
    connect(&state_, &SupplyState::transportChanged, this,
            [this](const QString &transport) { link_ = transport; });
}

void AuditTrail::record(const AuditEvent &e) {
    const QDateTime now = clock_().toUTC();
    const QString path =
        QDir(folder_).filePath(now.toString(QStringLiteral("yyyy-MM")) + QStringLiteral(".jsonl"));
    // Another program may write the same trail: the lock keeps the chain one line.
    QDir().mkpath(folder_);
    QLockFile lock(QDir(folder_).filePath(QStringLiteral(".lock")));
    lock.tryLock(500);
    const QByteArray line =
        auditLine({{QStringLiteral("time"), isoTime(now)},
                   {QStringLiteral("user"), orNull(osUser())},
                   {QStringLiteral("host"), orNull(QSysInfo::machineHostName())},
                   {QStringLiteral("program"), program_},
                   {QStringLiteral("version"), QStringLiteral(ZOR_VERSION)},
                   {QStringLiteral("serial"), orNull(state_.identity(IdentityField::SerialNumber))},
                   {QStringLiteral("link"), orNull(link_)},
                   {QStringLiteral("action"), e.action},
                   {QStringLiteral("before"), orNull(e.before)},
                   {QStringLiteral("after"), orNull(e.after)},
                   {QStringLiteral("outcome"), outcomeText(e.outcome)},
                   {QStringLiteral("reason"), orNull(e.reason)}},
                  lastHash(path));
    const QString problem = append(line, path);
    if (!problem.isEmpty())
        emit failed(QStringLiteral("Audit trail not writable: %1").arg(problem));
    emit appended(line);
}

QString AuditTrail::append(const QByteArray &line, const QString &path) {
    if (!QDir(folder_).exists())
        return QStringLiteral("cannot make the folder %1").arg(folder_);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    if (file.write(line + '\n') != line.size() + 1 || !file.flush())
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    return {};
}

QByteArray AuditTrail::lastHash(const QString &path) const {
    // The newest month at or before this one: a new month follows the last.
    const QString name = QFileInfo(path).fileName();
    QStringList months = QDir(folder_).entryList({QStringLiteral("*.jsonl")}, QDir::Files,
                                                 QDir::Name | QDir::Reversed);
    for (const QString &month : months) {
        if (month > name)
            continue;
        QFile f(QDir(folder_).filePath(month));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        f.seek(std::max<qint64>(0, f.size() - 8192));
        const QList<QByteArray> lines = linesOf(f.readAll());
        if (!lines.isEmpty())
            return auditLineHash(lines.last());
    }
    return auditGenesis();
}

} // namespace zor
