// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/ProgressStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStringList>
#include <QTextStream>
#include <atomic>
#include <utility>

namespace {

std::atomic<ProgressStore *> g_current{nullptr};
std::atomic<int> g_connections{0};

const char *const kColumns = "uid, at, drill, asked_index, asked_name, root, mode, asked_notes, "
                             "answered_index, answered_keys, right, weight, answer_ms";

// Forward steps of the schema, one per version: kMigrations[v] takes version v to v + 1.
const char *const kMigrations[] = {
    "CREATE TABLE answers (id INTEGER PRIMARY KEY, uid TEXT UNIQUE NOT NULL, at TEXT NOT NULL, "
    "drill TEXT NOT NULL, asked_index INTEGER, asked_name TEXT, root INTEGER, mode TEXT, "
    "asked_notes TEXT, answered_index INTEGER, answered_keys TEXT, right INTEGER NOT NULL, "
    "weight INTEGER NOT NULL, answer_ms INTEGER); CREATE INDEX answers_by_drill ON answers "
    "(drill, at)",
};
static_assert(std::size(kMigrations) == ProgressStore::kSchemaVersion);

// A connection of this thread's own to the file, closed when it goes.
class Connection {
  public:
    explicit Connection(const QString &path)
        : name_(QString("progress-%1").arg(g_connections.fetch_add(1))) {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name_);
        db.setDatabaseName(path);
        db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=2000");
    }
    ~Connection() { QSqlDatabase::removeDatabase(name_); }
    QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }

  private:
    QString name_;
};

bool exec(QSqlDatabase db, const QString &statement, QString *error) {
    QSqlQuery q(db);
    if (q.exec(statement))
        return true;
    *error = q.lastError().text();
    return false;
}

int userVersion(QSqlDatabase db, QString *error) {
    QSqlQuery q(db);
    if (!q.exec("PRAGMA user_version") || !q.next()) {
        *error = q.lastError().text();
        return -1;
    }
    return q.value(0).toInt();
}

// "yyyy-MM-ddTHH:mm:ss.zzzZ" as written, read far faster than a general parser would.
QDateTime parseUtc(const QString &s) {
    if (s.size() < 23)
        return QDateTime::fromString(s, Qt::ISODateWithMs);
    auto n = [&](int from, int length) { return QStringView(s).mid(from, length).toInt(); };
    return QDateTime(QDate(n(0, 4), n(5, 2), n(8, 2)),
                     QTime(n(11, 2), n(14, 2), n(17, 2), n(20, 3)), Qt::UTC);
}

QString csvField(QString s) {
    if (s.contains(',') || s.contains('"') || s.contains('\n') || s.contains('\r'))
        s = '"' + s.replace('"', "\"\"") + '"';
    return s;
}

} // namespace

ProgressStore::ProgressStore(QString path, QObject *parent)
    : QObject(parent), path_(std::move(path)) {
    writer_ = std::thread([this] { run(); });
}

ProgressStore::~ProgressStore() {
    flush(3000);
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    writer_.join();
    if (current() == this)
        setCurrent(nullptr);
}

ProgressStore *ProgressStore::current() {
    return g_current.load();
}

void ProgressStore::setCurrent(ProgressStore *store) {
    g_current.store(store);
}

QString ProgressStore::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/progress.sqlite";
}

void ProgressStore::record(Answer answer) {
    if (answer.uid.isEmpty())
        answer.uid = QString::number(QRandomGenerator::global()->generate64(), 16);
    {
        std::lock_guard lock(mutex_);
        waiting_.push_back(std::move(answer));
    }
    wake_.notify_one();
    emit recorded();
}

bool ProgressStore::flush(int timeoutMs) {
    std::unique_lock lock(mutex_);
    idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                   [this] { return (waiting_.empty() || failing_) && !busy_; });
    return waiting_.empty();
}

// Opens the file for this connection: a new file gets the schema, an older one is
// taken forward; a corrupt one is moved aside and started afresh; one of another
// program, or of a newer version, is refused and left as it is.
bool ProgressStore::open(const QString &connection, QString *error) const {
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!QDir().mkpath(QFileInfo(path_).absolutePath())) {
        *error = "its directory cannot be made";
        return false;
    }
    if (!db.open()) {
        *error = db.lastError().text();
        return false;
    }
    int version = userVersion(db, error);
    if (version < 0 && error->contains("not a database", Qt::CaseInsensitive)) {
        db.close();
        const QString aside =
            path_ + ".corrupt-" + QDateTime::currentDateTimeUtc().toString("yyyyMMdd-HHmmss");
        if (!QFile::rename(path_, aside)) {
            *error = "it is corrupt and cannot be moved aside";
            return false;
        }
        qWarning("tonvik: %s was corrupt and is now %s", qPrintable(path_), qPrintable(aside));
        if (!db.open() || (version = userVersion(db, error)) < 0)
            return false;
    }
    if (version < 0)
        return false;
    auto refuse = [&](int found) {
        if (found == 0 && !db.tables().isEmpty())
            *error = "it belongs to another program";
        else if (found > kSchemaVersion)
            *error = QString("it was written by a newer Tonvik (schema %1)").arg(found);
        else
            return false;
        return true;
    };
    if (refuse(version))
        return false;
    // With the write-ahead log, a commit is on disk for good once written: a crash or a
    // kill of the program loses nothing committed (only a power cut may lose the last).
    if (!exec(db, "PRAGMA journal_mode=WAL", error) ||
        !exec(db, "PRAGMA synchronous=NORMAL", error))
        return false;
    if (version == kSchemaVersion)
        return true;
    // Taken forward under a write lock, looking again: another Tonvik opening the same
    // new file at the same moment waits, then finds it done.
    if (!exec(db, "BEGIN IMMEDIATE", error))
        return false;
    version = userVersion(db, error);
    bool done = version >= 0 && !refuse(version);
    for (; done && version < kSchemaVersion; ++version)
        for (const QString &step : QString(kMigrations[version]).split("; "))
            done = done && exec(db, step, error);
    done = done && exec(db, QString("PRAGMA user_version=%1").arg(kSchemaVersion), error) &&
           exec(db, "COMMIT", error);
    QString ignored;
    if (!done)
        exec(db, "ROLLBACK", &ignored);
    return done;
}

bool ProgressStore::write(const QString &connection, const Answer &a, QString *error) {
    QSqlQuery q(QSqlDatabase::database(connection, false));
    q.prepare(QString("INSERT OR IGNORE INTO answers (%1) VALUES "
                      "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                  .arg(kColumns));
    for (const QVariant &v :
         {QVariant(a.uid), QVariant(a.at.toUTC().toString(Qt::ISODateWithMs)), QVariant(a.drill),
          QVariant(a.askedIndex), QVariant(a.askedName), QVariant(a.root), QVariant(a.mode),
          QVariant(a.askedNotes), QVariant(a.answeredIndex), QVariant(a.answeredKeys),
          QVariant(int(a.right)), QVariant(a.weight), QVariant(a.answerMs)})
        q.addBindValue(v);
    if (q.exec())
        return true;
    *error = q.lastError().text();
    return false;
}

void ProgressStore::run() {
    const Connection connection(path_);
    const QString name = connection.db().connectionName();
    bool opened = false;
    std::unique_lock lock(mutex_);
    while (true) {
        // Waits for an answer; after a failure, tries again every two seconds.
        wake_.wait_for(lock, std::chrono::seconds(failing_ ? 2 : 3600),
                       [this] { return stopping_ || (!waiting_.empty() && !failing_); });
        if (stopping_ || waiting_.empty()) {
            if (stopping_)
                return;
            continue;
        }
        busy_ = true;
        const Answer next = waiting_.front();
        lock.unlock();
        QString error;
        if (!opened)
            opened = open(name, &error);
        const bool written = opened && write(name, next, &error);
        if (!written) {
            connection.db().close();
            opened = false;
        }
        lock.lock();
        busy_ = false;
        if (written) {
            waiting_.pop_front();
            if (std::exchange(failing_, false))
                QMetaObject::invokeMethod(this, &ProgressStore::restored, Qt::QueuedConnection);
        } else if (!std::exchange(failing_, true)) {
            const QString message =
                QString("Your answers cannot be kept in %1 (%2): Tonvik keeps this run's "
                        "answers in memory and writes them when it can.")
                    .arg(QDir::toNativeSeparators(path_), error);
            QMetaObject::invokeMethod(
                this, [this, message] { emit problem(message); }, Qt::QueuedConnection);
        }
        idle_.notify_all();
    }
}

std::vector<Answer> ProgressStore::answers(const QString &drill, const QDateTime &since,
                                           bool brief) const {
    std::vector<Answer> out;
    std::vector<Answer> waiting;
    {
        std::lock_guard lock(mutex_);
        for (const Answer &a : waiting_)
            if ((drill.isEmpty() || a.drill == drill) && (!since.isValid() || a.at >= since))
                waiting.push_back(a);
    }
    const Connection connection(path_);
    QSqlDatabase db = connection.db();
    if (QFileInfo::exists(path_) && db.open()) {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        // The brief form has only what the figures need: it reads several times faster.
        q.prepare(QString("SELECT %1 FROM answers WHERE (? = '' OR drill = ?) AND at >= ? "
                          "ORDER BY at, id")
                      .arg(brief ? "at, asked_index, answered_index, right, answer_ms, "
                                   "asked_notes, answered_keys, weight"
                                 : kColumns));
        const QString which = drill.isEmpty() ? QString("") : drill; // never NULL
        q.addBindValue(which);
        q.addBindValue(which);
        q.addBindValue(since.isValid() ? since.toUTC().toString(Qt::ISODateWithMs) : QString(""));
        if (q.exec() && brief)
            while (q.next()) {
                Answer &a = out.emplace_back();
                a.at = parseUtc(q.value(0).toString());
                a.drill = drill;
                a.askedIndex = q.value(1).toInt();
                a.answeredIndex = q.value(2).toInt();
                a.right = q.value(3).toBool();
                a.answerMs = q.value(4).toLongLong();
                a.askedNotes = q.value(5).toString();
                a.answeredKeys = q.value(6).toString();
                a.weight = q.value(7).toInt();
            }
        else if (q.isActive())
            while (q.next())
                out.push_back({q.value(0).toString(), parseUtc(q.value(1).toString()),
                               q.value(2).toString(), q.value(3).toInt(), q.value(4).toString(),
                               q.value(5).toInt(), q.value(6).toString(), q.value(7).toString(),
                               q.value(8).toInt(), q.value(9).toString(), q.value(10).toBool(),
                               q.value(11).toInt(), q.value(12).toLongLong(), QString()});
        // What waits to be written may have been written meanwhile: count it once.
        QSqlQuery written(db);
        written.prepare("SELECT 1 FROM answers WHERE uid = ?");
        std::erase_if(waiting, [&](const Answer &a) {
            written.addBindValue(a.uid);
            return written.exec() && written.next();
        });
        db.close();
    }
    out.insert(out.end(), waiting.begin(), waiting.end());
    return out;
}

bool ProgressStore::exportCsv(const QString &file, QString *error) const {
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = f.errorString();
        return false;
    }
    QTextStream out(&f);
    out << "time_utc,drill,asked_index,asked,root,mode,asked_notes,answered_index,"
           "answered_keys,right,weight,answer_ms\r\n";
    for (const Answer &a : answers()) {
        const QStringList fields = {a.at.toUTC().toString(Qt::ISODateWithMs),
                                    a.drill,
                                    QString::number(a.askedIndex),
                                    a.askedName,
                                    QString::number(a.root),
                                    a.mode,
                                    a.askedNotes,
                                    QString::number(a.answeredIndex),
                                    a.answeredKeys,
                                    a.right ? "1" : "0",
                                    QString::number(a.weight),
                                    QString::number(a.answerMs)};
        QStringList quoted;
        for (const QString &field : fields)
            quoted << csvField(field);
        out << quoted.join(',') << "\r\n";
    }
    out.flush();
    if (f.error() != QFileDevice::NoError) {
        *error = f.errorString();
        return false;
    }
    return true;
}
