// SPDX-License-Identifier: GPL-3.0-or-later
// The progress store on real SQLite files; the Progress window on known answers.
#include "app/WindowRegistry.h"
#include "chords/FormChords.h"
#include "melody/FormMelody.h"
#include "progress/ProgressWindow.h"
#include "sound/SoundSettings.h"
#include "tests_support/Controls.h"
#include "tests_support/RecordingBackend.h"

#include <QDir>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>

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

} // namespace

class TestProgress : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

  private slots:
    void initTestCase() {
        qputenv("TZ", "Pacific/Auckland");
        tzset();
    }
    // Written, kept over a reopening, and exported as CSV that reads back the same.
    void answersAreKeptAndExported() {
        const QString path = dir.filePath("kept/progress.sqlite");
        std::vector<Answer> recorded = {answer(7, 7), answer(4, 3), answer(0, 0)};
        recorded[1].askedName = "3rd \"major\", or not";
        {
            ProgressStore store(path);
            for (const Answer &a : recorded)
                store.record(a);
            QVERIFY(store.flush());
        }
        ProgressStore store(path);
        std::vector<Answer> read = store.answers("intervals");
        QCOMPARE(int(read.size()), 3);
        for (size_t i = 0; i < read.size(); ++i) {
            QVERIFY(!read[i].uid.isEmpty());
            recorded[i].uid = read[i].uid;
            QVERIFY2(read[i] == recorded[i], qPrintable(read[i].askedName));
        }
        QVERIFY(store.answers("chords").empty());
        QCOMPARE(int(store.answers({}, recorded[0].at.addDays(1)).size()), 0);
        QCOMPARE(sql(path, "PRAGMA user_version"), QString::number(ProgressStore::kSchemaVersion));
        QCOMPARE(sql(path, "PRAGMA journal_mode"), QString("wal"));

        QString error;
        QVERIFY2(store.exportCsv(dir.filePath("out.csv"), &error), qPrintable(error));
        const QList<QStringList> rows = parseCsv(contents(dir.filePath("out.csv")));
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0].first(), QString("time_utc"));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(rows[i + 1],
                     QStringList({recorded[size_t(i)].at.toString(Qt::ISODateWithMs), "intervals",
                                  QString::number(recorded[size_t(i)].askedIndex),
                                  recorded[size_t(i)].askedName, "60", "ascending", "",
                                  QString::number(recorded[size_t(i)].answeredIndex), "",
                                  recorded[size_t(i)].right ? "1" : "0", "1", "900"}));
    }

    // A newer file is refused and left alone, a corrupt one moved aside, one that cannot
    // be made said once and written when it can; the answers meanwhile in memory.
    void storesThatCannotBeUsed() {
        const QString newer = dir.filePath("newer.sqlite");
        sql(newer, "CREATE TABLE answers (x)");
        sql(newer, "PRAGMA user_version=99");
        const QString garbage = dir.filePath("corrupt.sqlite");
        QFile f(garbage);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'x'));
        f.close();
        const QString blocked = dir.filePath("a-file");
        QFile(blocked).open(QIODevice::WriteOnly); // a file where the directory should be

        for (const QString &path : {newer, garbage, blocked + "/progress.sqlite"}) {
            const QByteArray before = contents(path);
            ProgressStore store(path);
            QSignalSpy problem(&store, &ProgressStore::problem);
            store.record(answer(2, 2));
            const bool written = store.flush();
            QCOMPARE(int(store.answers().size()), 1);
            if (path == garbage) {
                QVERIFY(written);
                const QStringList aside = QDir(dir.path()).entryList({"corrupt.sqlite.corrupt-*"});
                QCOMPARE(aside.size(), 1);
                QCOMPARE(contents(dir.filePath(aside.first())), before);
                continue;
            }
            QVERIFY(!written);
            QTRY_COMPARE(problem.size(), 1);
            QVERIFY(problem[0][0].toString().contains(QDir::toNativeSeparators(path)));
            if (path == newer) {
                QVERIFY(problem[0][0].toString().contains("newer Tonvik"));
                QCOMPARE(contents(newer), before);
                continue;
            }
            // The directory becomes possible: the answer is written at the next try.
            QSignalSpy restored(&store, &ProgressStore::restored);
            QVERIFY(QFile::remove(blocked) && QDir().mkpath(blocked));
            QTRY_VERIFY_WITH_TIMEOUT(restored.size() == 1, 5000);
            QVERIFY(store.flush());
            QCOMPARE(problem.size(), 1);
        }
        QCOMPARE(int(ProgressStore(blocked + "/progress.sqlite").answers().size()), 1);
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
        const ProgressFigures f = ProgressFigures::of("intervals", store.answers("intervals"));
        QCOMPARE(f.medianMs[12], 1250.0);
        QCOMPARE(f.confused.at({7, 5}), 4);

        variabiliglobali() = SoundSettings{};
        RecordingBackend midi;
        WindowRegistry registry;
        registry.open(DrillKind::Intervals);
        DrillWindow *w = registry.window(DrillKind::Intervals);
        ProgressWindow window(store, w);
        window.show();
        QVERIFY(!control(&window, "empty")->isVisible());
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
        QVERIFY(w->isLoaded() && w->isVisible());
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
        QVERIFY(column("Figures per item", 0).contains("7th minor"));
        QVERIFY(!column("Figures per item", 0).contains("7th major"));

        ProgressWindow chords(store, registry.window(DrillKind::Chords));
        QVERIFY(control<QLabel>(&chords, "empty")->text().contains("Test mode"));
        QVERIFY(!control(&chords, "empty")->isHidden());
    }

    // What is recorded is what was asked and answered: a melody counted by note as the
    // drill counts it, each key with its own time; a chord in the mode it was heard in.
    void recordsFollowTheDrills() {
        ProgressStore store(dir.filePath("drills.sqlite"));
        ProgressStore::setCurrent(&store);
        variabiliglobali() = SoundSettings{};
        RecordingBackend midi;
        WindowRegistry registry;
        auto *melody = static_cast<FormMelody *>(registry.window(DrillKind::Melody));
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
        const auto *days = control<QTableWidget>(&window, "Figures per day");
        QCOMPARE(days->item(days->rowCount() - 1, 3)->text(), QString("16 %"));
        QVERIFY(store.flush());
        const QStringList keyMs = store.answers("melody").back().keyTimes.split(' ');
        QCOMPARE(keyMs.size(), 5);
        for (const QString &ms : keyMs)
            QVERIFY2(ms.toInt() >= 140 && ms.toInt() < 400, qPrintable(keyMs.join(' ')));

        // Asked as an arpeggio, answered after the window was closed and opened again.
        registry.open(DrillKind::Chords);
        auto *chords = static_cast<FormChords *>(registry.window(DrillKind::Chords));
        control<QSlider>(chords, "Slider1")->setValue(0);
        click(chords, "Arpeggiooption");
        click(chords, "New");
        chords->close();
        registry.open(DrillKind::Chords);
        QVERIFY(button(chords, "Chordoption")->isChecked());
        click(chords, "Test");
        click(chords, QString("playchord(%1)").arg(chords->questionchord()));
        QVERIFY(store.flush());
        QCOMPARE(store.answers("chords").back().mode, QString("arpeggio"));
        ProgressStore::setCurrent(nullptr);
    }
};

QTEST_MAIN(TestProgress)
#include "test_progress.moc"
