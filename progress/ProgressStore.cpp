// SPDX-License-Identifier: GPL-3.0-or-later
// One class, kept whole: the writer thread, opening a file with its checks, moving a
// damaged one aside, reading and exporting all share the schema's column table and the
// connection rules, which read best in one place. (The file and CSV helpers are apart.)
#include "progress/ProgressStore.h"

#include "progress/StoreFiles.h"
#include "sound/FileNames.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStringList>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace storefiles;

namespace {

std::atomic<ProgressStore *> g_current{nullptr};
std::atomic<int> g_connections{0};

// "yyyy-MM-ddTHH:mm:ss.zzzZ" as written, read far faster than a general parser would.
QDateTime parseUtc(const QString &s) {
    if (s.size() < 23)
        return QDateTime::fromString(s, Qt::ISODateWithMs);
    auto n = [&](int from, int length) { return QStringView(s).mid(from, length).toInt(); };
    return QDateTime(QDate(n(0, 4), n(5, 2), n(8, 2)),
                     QTime(n(11, 2), n(14, 2), n(17, 2), n(20, 3)), Qt::UTC);
}

template <auto Member> QVariant get(const Answer &a) {
    return QVariant::fromValue(a.*Member);
}
template <auto Member> void set(Answer &a, const QVariant &v) {
    a.*Member = v.value<std::remove_cvref_t<decltype(a.*Member)>>();
}
template <> QVariant get<&Answer::at>(const Answer &a) {
    return a.at.toUTC().toString(Qt::ISODateWithMs);
}
template <> void set<&Answer::at>(Answer &a, const QVariant &v) {
    a.at = parseUtc(v.toString());
}
template <> QVariant get<&Answer::right>(const Answer &a) {
    return int(a.right);
}

// The columns of `answers`, each with the schema version that brought it and whether
// the brief form reads it.
struct Column {
    const char *name;
    int since;
    bool brief;
    QVariant (*get)(const Answer &);
    void (*set)(Answer &, const QVariant &);
};
const Column kColumns[] = {
    {"uid", 1, false, get<&Answer::uid>, set<&Answer::uid>},
    {"at", 1, true, get<&Answer::at>, set<&Answer::at>},
    {"drill", 1, false, get<&Answer::drill>, set<&Answer::drill>},
    {"asked_index", 1, true, get<&Answer::askedIndex>, set<&Answer::askedIndex>},
    {"asked_name", 1, false, get<&Answer::askedName>, set<&Answer::askedName>},
    {"root", 1, false, get<&Answer::root>, set<&Answer::root>},
    {"mode", 1, false, get<&Answer::mode>, set<&Answer::mode>},
    {"asked_notes", 1, true, get<&Answer::askedNotes>, set<&Answer::askedNotes>},
    {"answered_index", 1, true, get<&Answer::answeredIndex>, set<&Answer::answeredIndex>},
    {"answered_keys", 1, true, get<&Answer::answeredKeys>, set<&Answer::answeredKeys>},
    {"right", 1, true, get<&Answer::right>, set<&Answer::right>},
    {"weight", 1, true, get<&Answer::weight>, set<&Answer::weight>},
    {"answer_ms", 1, true, get<&Answer::answerMs>, set<&Answer::answerMs>},
    {"key_ms", 2, true, get<&Answer::keyTimes>, set<&Answer::keyTimes>},
};

// Forward steps of the schema, one per version: kMigrations[v] takes version v to v + 1.
const char *const kMigrations[] = {
    "CREATE TABLE answers (id INTEGER PRIMARY KEY, uid TEXT UNIQUE NOT NULL, at TEXT NOT NULL, "
    "drill TEXT NOT NULL, asked_index INTEGER, asked_name TEXT, root INTEGER, mode TEXT, "
    "asked_notes TEXT, answered_index INTEGER, answered_keys TEXT, right INTEGER NOT NULL, "
    "weight INTEGER NOT NULL, answer_ms INTEGER); CREATE INDEX answers_by_drill ON answers "
    "(drill, at)",
    "ALTER TABLE answers ADD COLUMN key_ms TEXT",
};
static_assert(std::size(kMigrations) == ProgressStore::kSchemaVersion);

bool exec(QSqlDatabase db, const QString &statement, QSqlError *error, QVariant *first = nullptr) {
    QSqlQuery q(db);
    if (q.exec(statement) && (!first || q.next() || !q.lastError().isValid())) {
        if (first)
            *first = q.isValid() ? q.value(0) : QVariant();
        return true;
    }
    *error = q.lastError();
    return false;
}

// What SQLite said, without the driver's words around it.
QString reason(const QSqlError &e) {
    return e.databaseText().isEmpty() ? e.text() : e.databaseText();
}

// SQLite's "database disk image is malformed" and "file is not a database".
bool isDamage(const QSqlError &e) {
    const int code = e.nativeErrorCode().toInt() & 0xff; // SQLite's primary code
    return code == 11 || code == 26 || reason(e).contains("malformed", Qt::CaseInsensitive) ||
           reason(e).contains("not a database", Qt::CaseInsensitive);
}

// What PRAGMA quick_check finds wrong, or nothing; if the check itself fails, `error`
// says why.
QString damageOf(QSqlDatabase db, QSqlError *error) {
    QVariant value;
    if (!exec(db, "PRAGMA quick_check", error, &value))
        return reason(*error);
    const QString found = value.toString().remove("*** in database main ***").trimmed();
    return found == "ok" ? QString() : found.section('\n', 0, 0).left(120);
}

// The columns of the file's `answers` table, none if it has none.
bool tableColumns(QSqlDatabase db, QStringList *names, QSqlError *error) {
    QSqlQuery q(db);
    if (!q.exec("PRAGMA table_info(answers)")) {
        *error = q.lastError();
        return false;
    }
    while (q.next())
        *names << q.value(1).toString();
    return true;
}

// Why a file of this version is not ours to write (newer, or another program's), or
// nothing. It is looked at before anything is written to it.
QString foreignReason(QSqlDatabase db, int version, QSqlError *error) {
    if (version > ProgressStore::kSchemaVersion)
        return QString("it was written by a newer Tonvik (schema %1)").arg(version);
    if (version == 0)
        return db.tables().isEmpty() ? QString() : QString("it belongs to another program");
    QStringList have, missing;
    if (!tableColumns(db, &have, error))
        return reason(*error);
    for (const Column &c : kColumns)
        if (c.since <= version && !have.contains(c.name))
            missing << c.name;
    if (missing.isEmpty())
        return {};
    return QString("it belongs to another program (its answers have no %1)")
        .arg(missing.join(", "));
}

} // namespace

// A database connection of this thread's own, closed when it goes. A store is only read
// through one that cannot make the file; one with no companion files is read without
// making them (SQLite would leave them behind, as unwritable as the file, or owned by
// whoever read it).
class ProgressStore::Connection {
  public:
    enum Access { Write, Read, ReadUnchanging };
    Connection(const QByteArray &file, Access access)
        : name_(QString("progress-%1").arg(g_connections.fetch_add(1))) {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name_);
        // A URI carries the file name's bytes, whatever they are; SQLite would read a
        // plain name as UTF-8.
        static const char *const modes[] = {"mode=rwc", "mode=ro", "mode=ro&immutable=1"};
        db.setDatabaseName(QString("file:%1%2?%3")
                               .arg(file.startsWith('/') ? "//" : "",
                                    QString::fromLatin1(file.toPercentEncoding("/")),
                                    modes[access]));
        db.setConnectOptions(QString("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000") +
                             (access == Write ? "" : ";QSQLITE_OPEN_READONLY"));
    }
    ~Connection() { QSqlDatabase::removeDatabase(name_); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }

  private:
    QString name_;
};

ProgressStore::ProgressStore(QString path, QObject *parent)
    : QObject(parent), path_(std::move(path)), file_(fileNameBytes(path_)) {
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

ProgressStore::Waiting ProgressStore::waiting() const {
    std::lock_guard lock(mutex_);
    return {int(waiting_.size()), failing_ ? reason_ : QString()};
}

bool ProgressStore::tryAgain(int timeoutMs) {
    std::unique_lock lock(mutex_);
    // A try under way began before this call: the one after it counts.
    const qint64 counted = tries_ + (busy_ ? 2 : 1);
    retryNow_ = true;
    wake_.notify_all();
    idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                   [&] { return waiting_.empty() || (failing_ && !busy_ && tries_ >= counted); });
    return waiting_.empty();
}

// Opens the file to write: a new file gets the schema, an older one is taken forward, a
// damaged one is moved aside and a new one made; one of another program or of a newer
// version is refused and left as it is, as is a file this program may not write.
bool ProgressStore::openToWrite(Connection &connection, QString *error, QString *notice) const {
    const qsizetype slash = file_.lastIndexOf('/');
    if (slash > 0 && !makeDirectories(file_.left(slash))) {
        *error = "its directory cannot be made: " + qt_error_string(errno);
        return false;
    }
    // SQLite opens a file it may not write for reading only, and makes its companion
    // files as unwritable as the file: they would stay so once the file can be written.
    const bool found = exists(file_);
    for (const char *suffix : {"-wal", "-shm", ""}) {
        const QByteArray file = file_ + suffix;
        QString why;
        if (exists(file) && !found) {
            *error = QString("%1 is there without its database").arg(native(file));
            return false;
        }
        if (exists(file) && !canWrite(file, &why)) {
            *error = QString("%1 cannot be written: %2").arg(native(file), why);
            return false;
        }
    }
    QSqlDatabase db = connection.db();
    if (!db.open()) {
        *error = reason(db.lastError());
        return false;
    }
    // Only read until the file is known to be ours and sound.
    QSqlError e;
    QVariant value;
    QString damage;
    int version = 0;
    auto fail = [&](const QString &why) {
        *error = why;
        return false;
    };
    if (!exec(db, "PRAGMA user_version", &e, &value)) {
        if (!isDamage(e))
            return fail(reason(e));
        damage = reason(e);
    } else {
        version = value.toInt();
        if (const QString foreign = foreignReason(db, version, &e); !foreign.isEmpty())
            return fail(foreign);
        damage = damageOf(db, &e);
        if (e.isValid() && !isDamage(e))
            return fail(damage);
    }
    if (!damage.isEmpty()) {
        const bool moved = moveAside(damage, error, notice);
        db.close();
        if (!moved || !db.open())
            return moved ? fail(reason(db.lastError())) : false;
        version = 0;
    }
    // With the write-ahead log, a commit is on disk for good once written: a crash or a
    // kill of the program loses nothing committed (only a power cut may lose the last).
    if (!exec(db, "PRAGMA journal_mode=WAL", &e) || !exec(db, "PRAGMA synchronous=NORMAL", &e))
        return fail(reason(e));
    if (version == kSchemaVersion)
        return true;
    // Taken forward under a write lock, looking again: another Tonvik opening the same
    // new file at the same moment waits, then finds it done.
    if (!exec(db, "BEGIN IMMEDIATE", &e) || !exec(db, "PRAGMA user_version", &e, &value))
        return fail(reason(e));
    QString why = foreignReason(db, version = value.toInt(), &e);
    for (; why.isEmpty() && version < kSchemaVersion; ++version)
        for (const QString &step : QString(kMigrations[version]).split("; "))
            if (why.isEmpty() && !exec(db, step, &e))
                why = reason(e);
    if (why.isEmpty() && !(exec(db, QString("PRAGMA user_version=%1").arg(kSchemaVersion), &e) &&
                           exec(db, "COMMIT", &e)))
        why = reason(e);
    if (why.isEmpty())
        return true;
    exec(db, "ROLLBACK", &e);
    return fail(why);
}

// Renames the damaged file, with its companion files, to <file>.corrupt-<UTC time>.
// Done while the connection is still open: closing it, SQLite would delete a write-ahead
// log it found beside the file, but by the file's name, which it no longer has.
bool ProgressStore::moveAside(const QString &reason, QString *error, QString *notice) const {
    const QByteArray stamp =
        ".corrupt-" + QDateTime::currentDateTimeUtc().toString("yyyyMMdd-HHmmss").toLatin1();
    QByteArray aside = file_ + stamp;
    for (int n = 2; exists(aside) || exists(aside + "-wal") || exists(aside + "-shm"); ++n)
        aside = file_ + stamp + '-' + QByteArray::number(n);
    for (const char *suffix : {"", "-wal", "-shm"})
        if ((!*suffix || exists(file_ + suffix)) &&
            ::rename((file_ + suffix).constData(), (aside + suffix).constData()) != 0) {
            *error = QString("it is damaged (%1) and %2 cannot be moved aside: %3")
                         .arg(reason, native(file_ + suffix), qt_error_string(errno));
            return false;
        }
    *notice = QString("%1 was damaged (%2): it is now %3, and a new %4 keeps your answers.")
                  .arg(native(file_), reason, native(aside),
                       native(file_.mid(file_.lastIndexOf('/') + 1)));
    return true;
}

// One try at writing an answer, on a new connection after a failure. A file found
// damaged while writing is moved aside, and the answer goes into a new one.
bool ProgressStore::attempt(std::unique_ptr<Connection> &connection, const Answer &a,
                            QString *error, QString *notice) const {
    for (int round = 0; round < 2; ++round) {
        if (!connection) {
            connection = std::make_unique<Connection>(file_, Connection::Write);
            if (!openToWrite(*connection, error, notice)) {
                connection.reset();
                return false;
            }
        }
        QSqlError e;
        {
            QSqlQuery q(connection->db());
            QStringList names;
            for (const Column &c : kColumns)
                names << c.name;
            q.prepare(QString("INSERT OR IGNORE INTO answers (%1) VALUES (?%2)")
                          .arg(names.join(", "), QString(", ?").repeated(names.size() - 1)));
            for (const Column &c : kColumns)
                q.addBindValue(c.get(a));
            if (q.exec())
                return true;
            e = q.lastError();
        }
        *error = reason(e);
        const bool moved = round == 0 && isDamage(e) && moveAside(reason(e), error, notice);
        connection.reset();
        if (!moved)
            return false;
    }
    return false;
}

void ProgressStore::run() {
    std::unique_ptr<Connection> connection;
    auto say = [this](const QString &message) {
        QMetaObject::invokeMethod(
            this, [this, message] { emit problem(message); }, Qt::QueuedConnection);
    };
    std::unique_lock lock(mutex_);
    while (true) {
        // Waits for an answer; after a failure, tries again every two seconds, or when
        // asked to.
        wake_.wait_for(lock, std::chrono::seconds(failing_ ? 2 : 3600), [this] {
            return stopping_ || (!waiting_.empty() && (!failing_ || retryNow_));
        });
        if (stopping_)
            return;
        if (waiting_.empty())
            continue;
        busy_ = true;
        retryNow_ = false;
        const Answer next = waiting_.front();
        lock.unlock();
        QString error, notice;
        const bool written = attempt(connection, next, &error, &notice);
        lock.lock();
        busy_ = false;
        ++tries_;
        if (written) {
            waiting_.pop_front();
            if (std::exchange(failing_, false))
                QMetaObject::invokeMethod(this, &ProgressStore::restored, Qt::QueuedConnection);
        }
        if (!notice.isEmpty())
            say(notice);
        if (!written) {
            reason_ = error;
            if (!std::exchange(failing_, true))
                say(QString("Your answers cannot be kept in %1 (%2): Tonvik keeps this run's "
                            "answers in memory and writes them when it can.")
                        .arg(QDir::toNativeSeparators(path_), error));
        }
        idle_.notify_all();
    }
}

bool ProgressStore::readFile(const QString &drill, const QDateTime &since, bool brief, bool withUid,
                             bool check, std::vector<Answer> &out, QString *error) const {
    // No write-ahead log: no connection has the file open, and it is read as it stands.
    const bool unchanging = !exists(file_ + "-wal") && !exists(file_ + "-shm");
    const Connection connection(file_, unchanging ? Connection::ReadUnchanging : Connection::Read);
    QSqlDatabase db = connection.db();
    QSqlError e;
    QStringList have, select;
    std::vector<const Column *> columns;
    if (!db.open() || !tableColumns(db, &have, &e)) {
        *error = e.isValid() ? reason(e) : reason(db.lastError());
        return false;
    }
    // A damaged index, say, is not met by reading the rows.
    if (const QString damage = check ? damageOf(db, &e) : QString(); !damage.isEmpty()) {
        *error = e.isValid() ? damage : QString("it is damaged (%1)").arg(damage);
        return false;
    }
    // The brief form has only what the figures need: it reads several times faster.
    for (const Column &c : kColumns)
        if (!brief || c.brief || (withUid && std::string_view(c.name) == "uid")) {
            if (!have.contains(c.name) && c.since == 1) {
                *error = have.isEmpty() ? QString("it has no answers")
                                        : QString("its answers have no %1").arg(c.name);
                return false;
            }
            select << (have.contains(c.name) ? c.name : "NULL"); // a column added later
            columns.push_back(&c);
        }
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(
        QString("SELECT %1 FROM answers WHERE (? = '' OR drill = ?) AND at >= ? ORDER BY at, id")
            .arg(select.join(", ")));
    const QString which = drill.isEmpty() ? QString("") : drill; // never NULL
    q.addBindValue(which);
    q.addBindValue(which);
    q.addBindValue(since.isValid() ? since.toUTC().toString(Qt::ISODateWithMs) : QString(""));
    if (q.exec())
        while (q.next()) {
            Answer &a = out.emplace_back();
            a.drill = drill;
            for (size_t i = 0; i < columns.size(); ++i)
                columns[i]->set(a, q.value(int(i)));
        }
    if (!q.lastError().isValid())
        return true;
    *error = reason(q.lastError());
    return false;
}

bool ProgressStore::collect(const QString &drill, const QDateTime &since, bool brief, bool check,
                            std::vector<Answer> &out, bool *missing, QString *error) const {
    std::vector<Answer> waiting;
    {
        std::lock_guard lock(mutex_);
        for (const Answer &a : waiting_)
            if ((drill.isEmpty() || a.drill == drill) && (!since.isValid() || a.at >= since))
                waiting.push_back(a);
    }
    *missing = !exists(file_);
    const bool read =
        *missing || readFile(drill, since, brief, !waiting.empty(), check, out, error);
    // A waiting answer that the file has by now counts once, as the file has it.
    QSet<QString> unseen;
    for (const Answer &a : waiting)
        unseen.insert(a.uid);
    for (auto row = out.begin(); row != out.end() && !unseen.isEmpty(); ++row)
        unseen.remove(row->uid);
    std::erase_if(waiting, [&](const Answer &a) { return !unseen.contains(a.uid); });
    out.insert(out.end(), waiting.begin(), waiting.end());
    return read;
}

std::vector<Answer> ProgressStore::answers(const QString &drill, const QDateTime &since,
                                           bool brief) const {
    std::vector<Answer> out;
    bool missing = false;
    QString error;
    collect(drill, since, brief, false, out, &missing, &error);
    return out;
}

bool ProgressStore::isStoreFile(const QString &file) const {
    const QByteArray name = fileNameBytes(file);
    const QByteArray other = canonical(name);
    struct stat theirs, mine;
    const bool found = ::stat(name.constData(), &theirs) == 0;
    for (const QByteArray &store : {file_, canonical(file_)})
        for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
            const QByteArray own = store + suffix;
            if (canonical(own) == other ||
                (found && ::stat(own.constData(), &mine) == 0 && mine.st_dev == theirs.st_dev &&
                 mine.st_ino == theirs.st_ino))
                return true;
        }
    return false;
}

bool ProgressStore::writeCsv(const QString &file, const std::vector<Answer> &rows,
                             QString *error) const {
    QString why;
    if (isStoreFile(file))
        why = "it is the progress store itself";
    else if (saveFile(fileNameBytes(file), csv(rows), &why))
        return true;
    *error = QString("%1 cannot be written: %2").arg(QDir::toNativeSeparators(file), why);
    return false;
}

bool ProgressStore::exportCsv(const QString &file, QString *error) const {
    if (isStoreFile(file))
        return writeCsv(file, {}, error); // refused, with the reason
    std::vector<Answer> rows;
    bool missing = false;
    QString why;
    if (!collect({}, {}, false, true, rows, &missing, &why) || (missing && rows.empty())) {
        *error = QString("the answers in %1 cannot be read: %2")
                     .arg(native(file_), missing ? QString("there is no such file") : why);
        return false;
    }
    return writeCsv(file, rows, error);
}

bool ProgressStore::exportWaiting(const QString &file, QString *error) const {
    std::vector<Answer> rows;
    {
        std::lock_guard lock(mutex_);
        rows.assign(waiting_.begin(), waiting_.end());
    }
    return writeCsv(file, rows, error);
}
