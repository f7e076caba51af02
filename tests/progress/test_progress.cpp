// SPDX-License-Identifier: GPL-3.0-or-later
// The progress store on real SQLite files; the Progress window on known answers.
#include "app/ExitQuestion.h"
#include "app/WindowRegistry.h"
#include "chords/ChordsWindow.h"
#include "melody/MelodyWindow.h"
#include "progress/ProgressWindow.h"
#include "sound/FileNames.h"
#include "sound/SoundSettings.h"
#include "tests_support/Controls.h"
#include "tests_support/RecordingBackend.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// An interval answer on `day` at 10:00 UTC, or at the moment given in full.
Answer answer(int asked, int answered, const QString &day = "2026-12-01", qint64 ms = 900) {
    Answer a;
    a.at = QDateTime::fromString(day.size() > 10 ? day : day + "T10:00:00.000Z", Qt::ISODateWithMs);
    a.drill = "intervals";
    a.askedIndex = asked;
    a.askedName = QString("item %1").arg(asked);
    a.root = 60;
    a.mode = "ascending";
    a.answeredIndex = answered;
    a.right = asked == answered;
    a.answerMs = ms;
    return a;
}

// Runs one statement on a file of our own connection; the first value it gives.
QString sql(const QString &path, const QString &statement) {
    QString first;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
        db.setDatabaseName(path);
        QSqlQuery q(db.open() ? db : QSqlDatabase());
        if (q.exec(statement) && q.next())
            first = q.value(0).toString();
    }
    QSqlDatabase::removeDatabase("check");
    return first;
}

QByteArray contents(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// RFC 4180: fields split on commas outside quotes, "" inside quotes is one quote.
QList<QStringList> parseCsv(const QByteArray &text) {
    QList<QStringList> rows{{}};
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"')
            field += text[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == ',')
            rows.last() << std::exchange(field, {});
        else if (!quoted && c == '\n')
            rows.last() << std::exchange(field, {}), rows.append(QStringList());
        else if (quoted || c != '\r')
            field += c;
    }
    rows.removeLast();
    return rows;
}

// The table of the first schema version, as Tonvik 1.0 made it.
const QString kVersion1 =
    "CREATE TABLE answers (id INTEGER PRIMARY KEY, uid TEXT UNIQUE NOT NULL, at TEXT NOT NULL, "
    "drill TEXT NOT NULL, asked_index INTEGER, asked_name TEXT, root INTEGER, mode TEXT, "
    "asked_notes TEXT, answered_index INTEGER, answered_keys TEXT, right INTEGER NOT NULL, "
    "weight INTEGER NOT NULL, answer_ms INTEGER)";

// Every file of a directory (through links) and what it holds; not SQLite's -shm, an
// index of the -wal that every reader writes to.
QMap<QString, QByteArray> files(const QString &dir) {
    QMap<QString, QByteArray> found;
    for (const QString &name : QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (!name.endsWith("-shm"))
            found[name] = contents(dir + '/' + name);
    return found;
}

bool put(const QString &path, const QByteArray &bytes, qint64 at = 0) {
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.seek(at) && f.write(bytes) == bytes.size();
}

// Whether root too may write what the file modes forbid, in this thread and those it starts.
void overrideFileModes(bool on) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    syscall(SYS_capget, &header, data);
    quint32 &now = data[0].effective, bit = 1u << CAP_DAC_OVERRIDE;
    now = on ? now | (data[0].permitted & bit) : now & ~bit;
    syscall(SYS_capset, &header, data);
}

} // namespace

class TestProgress : public QObject {
    Q_OBJECT
    QTemporaryDir dir, home;
    // A store of 2,000 answers; one of them damaged in its answers; one of a newer Tonvik;
    // one whose answers lack a column; a file that is not a database, with a -wal.
    const QString seeded = dir.filePath("seeded.sqlite"), holed = dir.filePath("holed.sqlite"),
                  newer = dir.filePath("newer.sqlite"), lacking = dir.filePath("lacking.sqlite"),
                  garbage = dir.filePath("garbage.sqlite");

    // The program as a user starts it, in a home of its own; an argument may hold a byte
    // as \0ooo (octal).
    int tonvik(const QStringList &args, QByteArray *said, const QString &prefix = {}) {
        QString script = "export HOME=%1 XDG_DATA_HOME=%1 XDG_CONFIG_HOME=%1 XDG_CACHE_HOME=%1; "
                         "trap '' XFSZ; exec %2 \"$0\"";
        for (int i = 1; i <= args.size(); ++i)
            script += QString(" \"$(printf %b \"${%1}\")\"").arg(i);
        QProcess p;
        const QString program = QString(TONVIK_BUILD_DIR) + "/tonvik";
        p.start("sh", QStringList{"-c", script.arg(home.path(), prefix), program} + args);
        p.waitForFinished(60000);
        *said = p.readAllStandardError();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

  private slots:
    void initTestCase() {
        qputenv("TZ", "Pacific/Auckland"); // the Progress window's days are local days
        tzset();
        // Under scripts/with-test-env no test reaches the user's own store.
        const QString own = getpwuid(getuid())->pw_dir + QString('/');
        QVERIFY(!ProgressStore::defaultPath().startsWith(own));
        {
            ProgressStore store(seeded);
            for (int i = 0; i < 2000; ++i)
                store.record(answer(i % 13, i % 12));
            QVERIFY(store.flush(60000));
        }
        QVERIFY(QFile::copy(seeded, holed) && put(holed, QByteArray(4096, 'x'), 40960));
        sql(newer, "CREATE TABLE answers (x)");
        sql(newer, "PRAGMA user_version=99");
        sql(lacking, QString(kVersion1).remove(", answer_ms INTEGER"));
        sql(lacking, "PRAGMA user_version=1");
        QVERIFY(put(garbage, QByteArray(8192, 'x')) && put(garbage + "-wal", QByteArray(900, 'w')));
    }

    // Written, read while being written (each answer once, none left out), and exported
    // as CSV that reads back the same; a text a spreadsheet would take for a formula is
    // begun with a quote.
    void answersAreKeptAndExported() {
        const QString path = dir.filePath("kept/progress.sqlite");
        std::vector<Answer> recorded;
        for (const char *text : {"3rd \"major\", or not", ",", "\"", "\n", "a,b\r\nc", "=1+2", "+1",
                                 "-2", "@SUM(A1)", "'x"}) {
            recorded.push_back(answer(7, recorded.size() % 2 ? 7 : 5));
            recorded.back().askedName = text;
        }
        recorded[1].askedIndex = -1;
        recorded[1].keyTimes = "830 410 655";
        ProgressStore store(path);
        for (size_t round = 1; round <= 3; ++round) {
            for (int i = 0; i < 300; ++i)
                store.record(recorded[i % recorded.size()]);
            for (bool brief = false; store.waiting().count > 0; brief = !brief)
                QCOMPARE(store.answers({}, {}, brief).size(), 300 * round);
        }
        const std::vector<Answer> read = store.answers("intervals");
        for (size_t i = 0; i < recorded.size(); ++i) {
            recorded[i].uid = read[i].uid;
            QVERIFY(!read[i].uid.isEmpty() && read[i] == recorded[i]);
        }
        QCOMPARE(store.answers("intervals", {}, true)[1].keyTimes, QString("830 410 655"));
        QVERIFY(store.answers("chords").empty());
        QCOMPARE(int(store.answers({}, recorded[0].at.addDays(1)).size()), 0);
        QCOMPARE(sql(path, "PRAGMA user_version") + sql(path, "PRAGMA journal_mode"), "2wal");

        QString error;
        QVERIFY2(store.exportCsv(dir.filePath("out.csv"), &error), qPrintable(error));
        const QList<QStringList> rows = parseCsv(contents(dir.filePath("out.csv")));
        QCOMPARE(rows.size(), 901);
        QCOMPARE(rows[0].first() + rows[0].last(), QString("time_utckey_ms"));
        for (size_t i = 0; i < recorded.size(); ++i) {
            const QString name = recorded[i].askedName;
            QCOMPARE(rows[qsizetype(i) + 1][3],
                     (QString("=+-@").contains(name[0]) ? "'" : "") + name);
        }
        QCOMPARE(rows[2], QStringList({"2026-12-01T10:00:00.000Z", "intervals", "-1", ",", "60",
                                       "ascending", "", "7", "", "1", "1", "900", "830 410 655"}));

        // A file of the first version is read as it is, and taken forward at the first write.
        const QString old = dir.filePath("version1.sqlite");
        for (const QString &statement :
             {kVersion1, QString("PRAGMA user_version=1"),
              QString("INSERT INTO answers VALUES (1, 'u', '2026-11-30', "
                      "'melody', -1, '', -1, '', '60 64', -1, '0 4', 1, 2, 7)")})
            sql(old, statement);
        ProgressStore first(old);
        QCOMPARE(first.answers("melody", {}, true).at(0).answeredKeys, QString("0 4"));
        first.record(recorded[1]);
        QVERIFY(first.flush());
        QCOMPARE(sql(old, "PRAGMA user_version"), QString("2"));
        QCOMPARE(first.answers().at(1), recorded[1]);
    }

    // --export-progress in the program: the CSV, or a reason and a failing status with
    // every file as it was, the store above all.
    void exportFromTheCommandLine() {
        const QString d = dir.path(), store = seeded, out = d + "/out.csv";
        const QString link = d + "/link.sqlite";
        QVERIFY(QFile::link(store, link) && put(out, "an earlier export\n"));
        const struct {
            QString from, to, said, prefix;
            int status;
        } cases[] = {
            {store, store, "progress store itself", {}, 2},
            {store, link, "progress store itself", {}, 2},
            {link, store + "-wal", "progress store itself", {}, 2},
            {d + "/typo.sqlite", out, "no such file", {}, 1},
            {holed, out, "damaged (Page", {}, 1},
            {garbage, out, "not a database", {}, 1},
            {lacking, out, "no answer_ms", {}, 1},
            {store, out, "File too large", "prlimit --fsize=65536", 1},
        };
        const QMap<QString, QByteArray> before = files(d);
        QByteArray said;
        for (const auto &c : cases) {
            const int status =
                tonvik({"--progress-db", c.from, "--export-progress", c.to}, &said, c.prefix);
            QVERIFY2(status == c.status && said.startsWith("tonvik: ") &&
                         said.contains(c.said.toUtf8()),
                     said.constData());
            QCOMPARE(files(d), before);
        }
        QCOMPARE(tonvik({"--progress-db", link, "--export-progress", out}, &said), 0);
        QCOMPARE(parseCsv(contents(out)).size(), 2001);

        // A name that is not UTF-8 names that file, not another.
        const QByteArray raw = QFile::encodeName(d) + "/b\xff";
        QVERIFY(::mkdir(raw.constData(), 0700) == 0);
        {
            ProgressStore odd(fileNameFromBytes(raw + "/p.sqlite"));
            odd.record(answer(5, 5));
            QVERIFY(odd.flush());
        }
        const QString odd = d + "/b\\0377/";
        QCOMPARE(
            tonvik({"--progress-db", odd + "p.sqlite", "--export-progress", odd + "\\0377.csv"},
                   &said),
            0);
        QCOMPARE(QDir(d).entryList().filter(QChar(0xfffd)), QStringList());
        for (const QByteArray &name : {raw + "/p.sqlite", raw + "/\xff.csv", raw})
            QVERIFY(::remove(name.constData()) == 0); // there, and Qt could not remove them
    }

    // A file the store cannot use as it is: refused and left as it was, moved aside for a
    // new one, or written once the cause is gone; said in the windows each time.
    void storesThatCannotBeUsed() {
        enum Outcome { Refused, MovedAside, Later };
        const QString blocked = dir.filePath("a-file"), locked = dir.filePath("locked.sqlite");
        QVERIFY(put(blocked, "a file where the directory should be"));
        QVERIFY(QFile::copy(seeded, locked) && ::chmod(qPrintable(locked), 0444) == 0);
        overrideFileModes(false);
        const auto restore = qScopeGuard([] { overrideFileModes(true); });
        const struct {
            QString path, said;
            Outcome outcome;
            std::function<void()> cure;
        } cases[] = {
            {newer, "newer Tonvik", Refused, {}},
            {lacking, "no answer_ms", Refused, {}},
            {garbage, "not a database", MovedAside, {}},
            {holed, "damaged (Page", MovedAside, {}},
            {blocked + "/progress.sqlite", "cannot be made", Later,
             [&] { QVERIFY(QFile::remove(blocked) && QDir().mkpath(blocked)); }},
            {locked, "Permission denied", Later, [&] { ::chmod(qPrintable(locked), 0644); }},
        };
        soundSettings() = SoundSettings{};
        RecordingBackend midi;
        WindowRegistry registry;
        registry.open(DrillKind::Intervals);
        for (const auto &c : cases) {
            const QByteArray before = contents(c.path) + contents(c.path + "-wal");
            const int kept = c.path == locked ? 2000 : 0;
            ProgressStore store(c.path);
            registry.follow(store);
            QSignalSpy problem(&store, &ProgressStore::problem);
            store.record(answer(2, 2));
            QCOMPARE(store.flush(), c.outcome == MovedAside);
            QCOMPARE(int(store.answers().size()), kept + 1);
            QTRY_COMPARE(problem.size(), 1);
            const QString said = problem[0][0].toString();
            QVERIFY2(said.contains(QDir::toNativeSeparators(c.path)) && said.contains(c.said),
                     qPrintable(said));
            QCOMPARE(registry.window(DrillKind::Intervals)->statusBar()->currentMessage(), said);
            registry.window(DrillKind::Chords)->close(); // a window loaded later says it too
            registry.open(DrillKind::Chords);
            QCOMPARE(registry.window(DrillKind::Chords)->statusBar()->currentMessage(), said);
            if (c.outcome == Refused) {
                QCOMPARE(contents(c.path), before);
            } else if (c.outcome == MovedAside) {
                const QString aside =
                    QDir(dir.path())
                        .entryList({c.path.mid(dir.path().size() + 1) + ".corrupt-*"})[0];
                QVERIFY2(said.contains(aside), qPrintable(said));
                QCOMPARE(contents(dir.filePath(aside)) + contents(dir.filePath(aside + "-wal")),
                         before);
                QCOMPARE(sql(c.path, "SELECT count(*) FROM answers"), QString("1"));
            } else { // no companion file made unwritable; the next try after the cure writes
                QVERIFY(!QFile::exists(c.path + "-wal") && !QFile::exists(c.path + "-shm"));
                QSignalSpy restored(&store, &ProgressStore::restored);
                c.cure();
                QTRY_VERIFY_WITH_TIMEOUT(restored.size() == 1 && store.flush(), 5000);
                QCOMPARE(sql(c.path, "SELECT count(*) FROM answers"), QString::number(kept + 1));
            }
        }
    }

    // At exit what could not be kept is tried once more, then named and offered as CSV.
    void exitSaysWhatWouldBeLost() {
        const QString blocked = dir.filePath("exit-file"), saved = dir.filePath("saved.csv");
        QVERIFY(put(blocked, "a file where the directory should be"));
        ProgressStore store(blocked + "/progress.sqlite");
        ProgressStore::setCurrent(&store);
        store.record(answer(1, 1));
        store.record(answer(2, 3));
        QVERIFY(!store.flush());
        QStringList told; // each question as asked
        QTimer user;
        connect(&user, &QTimer::timeout, [&] {
            if (auto *files = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                control<QLineEdit>(files, "fileNameEdit")->setText(saved);
                static_cast<QDialog *>(files)->accept();
            } else if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                told << box->objectName() + box->windowTitle() + box->text() +
                            box->informativeText();
                (told.size() == 1 ? button(box, "savewaiting") : box->button(QMessageBox::No))
                    ->click();
            }
        });
        user.start(50);
        QVERIFY(!askExitQuestion(nullptr));
        const QString asked = "exitquestionTonvik 1.0Exit from Tonvik 1.0?";
        QVERIFY2(told.size() == 2 && told[0].startsWith(asked + "2 answers") &&
                     told[0].contains("cannot be made") && told[1].contains("saved in " + saved),
                 qPrintable(told.join('|')));
        QCOMPARE(parseCsv(contents(saved)).size(), 3);
        QCOMPARE(parseCsv(contents(saved))[2].mid(3, 5),
                 QStringList({"item 2", "60", "ascending", "", "3"}));

        QVERIFY(QFile::remove(blocked) && QDir().mkpath(blocked)); // the cause gone
        QVERIFY(!askExitQuestion(nullptr));
        QCOMPARE(told.last(), asked);
        QCOMPARE(sql(blocked + "/progress.sqlite", "SELECT count(*) FROM answers"), QString("2"));
    }

    // What the window shows of known answers, on the user's local days (Auckland here),
    // and "Tick the weakest" in the drill, from what is stored when it is clicked.
    void figuresAndTheWeakest() {
        ProgressStore store(dir.filePath("figures.sqlite"));
        // Octave 5 of 6 right; 5th 1 of 5 (4 a 4th); 3rd 3 of 5; unison 0 of 4 (too few)
        // at 20:30 UTC, the next morning in Auckland.
        for (int i = 0; i < 6; ++i)
            store.record(answer(12, i < 5 ? 12 : 11, "2026-12-01", 1000 + 100 * i));
        for (int i = 0; i < 5; ++i)
            store.record(answer(7, i < 1 ? 7 : 5, "2026-12-02"));
        for (int i = 0; i < 5; ++i)
            store.record(answer(4, i < 3 ? 4 : 3, "2026-12-02"));
        for (int i = 0; i < 4; ++i)
            store.record(answer(0, 1, "2026-12-03T20:30:00.000Z"));
        // The last 7 days are today and the 6 before, from local midnight.
        const QDateTime start = QDate::currentDate().addDays(-6).startOfDay();
        store.record(answer(10, 10, start.addSecs(60).toUTC().toString(Qt::ISODateWithMs)));
        store.record(answer(11, 11, start.addSecs(-60).toUTC().toString(Qt::ISODateWithMs)));
        QVERIFY(store.flush());

        soundSettings() = SoundSettings{};
        RecordingBackend midi;
        ProgressStore::setCurrent(&store);
        WindowRegistry registry;
        registry.open(DrillKind::Intervals);
        DrillWindow *w = registry.window(DrillKind::Intervals);
        ProgressWindow window(store, w);
        window.show();
        QVERIFY(window.loading()); // read on a thread of its own, shown when read
        QTRY_VERIFY(!window.loading());
        auto column = [&](const QString &table, int c) {
            QStringList out;
            auto *t = control<QTableWidget>(&window, table);
            for (int r = 0; r < t->rowCount(); ++r)
                out << t->item(r, c)->text();
            return out;
        };
        QVERIFY2(column("Figures per day", 0).mid(0, 3) ==
                     QStringList({"2026-12-01", "2026-12-02", "2026-12-04"}),
                 qPrintable(column("Figures per day", 0).join(' ')));
        // 6th major 0 of 5, recorded after the window drew: weaker than the octave. The
        // drill window is closed: it opens to take the ticks.
        for (int i = 0; i < 5; ++i)
            store.record(answer(9, 8, QDate::currentDate().toString(Qt::ISODate)));
        w->close();
        QVERIFY(!w->isLoaded());
        click(&window, "tickweakest");
        QTRY_VERIFY(w->isLoaded() && w->isVisible());
        QList<int> ticked;
        for (int i = 0; i < 13; ++i)
            if (button(w, QString("inter(%1)").arg(i))->isChecked())
                ticked << i;
        QCOMPARE(ticked, QList<int>({4, 7, 9}));
        // Answers recorded while the window is open join it; 2 of 3 is 66 %, as the drill says.
        for (int i = 0; i < 3; ++i)
            store.record(answer(2, i < 2 ? 2 : 1, QDate::currentDate().toString(Qt::ISODate)));
        QTRY_VERIFY(column("Figures per item", 0).contains("2nd major"));
        QCOMPARE(column("Figures per item", 3)[column("Figures per item", 0).indexOf("2nd major")],
                 QString("66 %"));
        control<QComboBox>(&window, "period")->setCurrentIndex(0);
        QTRY_VERIFY(!window.loading());
        QVERIFY(column("Figures per item", 0).contains("7th minor"));
        QVERIFY(!column("Figures per item", 0).contains("7th major"));

        // Beside them, the weights New draws by (last 30 days), as answers come: 6th major,
        // all wrong today, over 2nd major, 1 of 3; 6th minor, never asked, the most.
        auto weightOf = [&](const char *item) {
            const QStringList items = column("Weights now", 0);
            return column("Weights now", 1).value(items.indexOf(item)).toDouble();
        };
        QTRY_VERIFY(weightOf("6th major") > weightOf("2nd major") && weightOf("2nd major") > 0.05);
        QCOMPARE(weightOf("6th minor"), 1.3);
    }

    // What is recorded is what was asked and answered: a melody counted by note as the
    // drill counts it, each key with its own time; a chord in the mode it was heard in.
    void recordsFollowTheDrills() {
        ProgressStore store(dir.filePath("drills.sqlite"));
        ProgressStore::setCurrent(&store);
        soundSettings() = SoundSettings{};
        RecordingBackend midi;
        WindowRegistry registry;
        auto *melody = static_cast<MelodyWindow *>(registry.window(DrillKind::Melody));
        registry.open(DrillKind::Melody);
        control<QSlider>(melody, "Slider1")->setValue(0);
        click(melody, "Test");
        for (int length : {1, 5}) { // the first right, the second wrong at its first key
            control<QComboBox>(melody, "nnotescombo")->setCurrentIndex(length - 1);
            click(melody, "New");
            for (int k = 1; k <= length; ++k) {
                QTest::qWait(150);
                const int pc = melody->notes(k) % 12;
                click(melody, QString("tasto(%1)").arg(length == 5 && k == 1 ? (pc + 1) % 12 : pc));
            }
        }
        QCOMPARE(text(melody, "Label7"), QString("16")); // 1 of 6 notes
        ProgressWindow window(store, melody);
        QTRY_VERIFY(!window.loading());
        const auto *days = control<QTableWidget>(&window, "Figures per day");
        QCOMPARE(days->item(days->rowCount() - 1, 3)->text(), QString("16 %"));
        QVERIFY(store.flush());
        const QStringList keyMs = store.answers("melody").back().keyTimes.split(' ');
        QCOMPARE(keyMs.size(), 5);
        for (const QString &ms : keyMs)
            QVERIFY2(ms.toInt() >= 140 && ms.toInt() < 400, qPrintable(keyMs.join(' ')));

        // Asked as an arpeggio, answered after the window was closed and opened again.
        registry.open(DrillKind::Chords);
        auto *chords = static_cast<ChordsWindow *>(registry.window(DrillKind::Chords));
        control<QSlider>(chords, "Slider1")->setValue(0);
        click(chords, "Arpeggiooption");
        click(chords, "New");
        chords->close();
        registry.open(DrillKind::Chords);
        click(chords, "Test");
        click(chords, QString("playchord(%1)").arg(chords->questionChord()));
        QVERIFY(store.flush());
        QCOMPARE(store.answers("chords").back().mode, QString("arpeggio"));
        ProgressStore::setCurrent(nullptr);
    }
};

QTEST_MAIN(TestProgress)
#include "test_progress.moc"
