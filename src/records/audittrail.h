#pragma once

#include "supply/auditevent.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <functional>
#include <optional>

namespace zor {

class SupplyOps;
class SupplyState;

// <the console's data folder>/audit, shared by the console and zor-ctl.
QString defaultAuditFolder();

// The fields of an entry in the order they are written; a null value is
// written as JSON null.
using AuditFields = QList<std::pair<QString, QString>>;
// One line of the trail: the fields, then "prev" (the previous line's hash)
// and "hash", the SHA-256 of everything before `,"hash"`.
QByteArray auditLine(const AuditFields &fields, const QByteArray &prev);
// 64 zeros: what the first line of the trail follows.
QByteArray auditGenesis();
// The hash a line carries; the SHA-256 of the whole line when it has none.
QByteArray auditLineHash(const QByteArray &line);

// Where the chain breaks: the file, its line from 1, and why.
struct AuditBreak {
    QString file;
    int line = 0;
    QString why;
};
struct AuditFile {
    QString name; // "2026-12.jsonl"
    QByteArray text;
};
// Checks the months in order, each following the last hash of the one before.
std::optional<AuditBreak> verifyChain(const QList<AuditFile> &files, int *entries = nullptr);
// The month files of a folder, oldest first.
QList<AuditFile> readAuditFiles(const QString &folder);
// Every entry that reads as one, oldest first.
QList<QJsonObject> auditEntries(const QList<AuditFile> &files);
// The columns people read, and the CSV of entries under that header.
QStringList auditColumns();
QString auditCsv(const QList<QJsonObject> &entries);

// The audit trail: each write SupplyOps reports becomes one line of
// <folder>/YYYY-MM.jsonl, flushed at once, chained to the line before (across
// months too, and across programs writing the same folder). A line that cannot
// be written is reported by failed(); the write itself has already gone out.
class AuditTrail : public QObject {
    Q_OBJECT
public:
    AuditTrail(SupplyOps &ops, const QString &program, const QString &folder = defaultAuditFolder(),
               QObject *parent = nullptr);

    QString folder() const { return folder_; }
    void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }
    void record(const AuditEvent &event);

signals:
    // Each line as written (or as it would have been): for a copy elsewhere.
    void appended(const QByteArray &line);
    // "Audit trail not writable: <reason>"
    void failed(const QString &message);

private:
    QString append(const QByteArray &line, const QString &path);
    QByteArray lastHash(const QString &path) const;

    SupplyState &state_;
    QString program_;
    QString folder_;
    QString link_;
    std::function<QDateTime()> clock_;
};

} // namespace zor
