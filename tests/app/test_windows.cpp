// The application shell driven as a user would: splash, navigation between the drill
// windows, the options and about dialogs and the confirmed exit, with every MIDI
// operation recorded.
#include "app/SplashWindow.h"
#include "app/WindowRegistry.h"
#include "melody/FormMelody.h"
#include "sound/FeedbackSound.h"
#include "sound/OptionsForm.h"
#include "sound/SoundSettings.h"
#include "tests_support/RecordingBackend.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <memory>

class TestWindows : public QObject {
    Q_OBJECT

    std::unique_ptr<RecordingBackend> midi;
    std::unique_ptr<WindowRegistry> registry;
    int exitQuestions = 0;
    bool exitAnswer = false;

    DrillWindow *openAndActivate(DrillKind kind) {
        registry->open(kind);
        DrillWindow *w = registry->window(kind);
        if (!QTest::qWaitForWindowActive(w))
            qWarning("window %s did not become active", qPrintable(w->objectName()));
        return w;
    }

    void click(DrillWindow *w, const QString &button) {
        auto *b = w->findChild<QPushButton *>(button);
        QVERIFY2(b, qPrintable(button));
        QTest::mouseClick(b, Qt::LeftButton);
    }

  private slots:
    void init() {
        variabiliglobali() = SoundSettings{};
        midi = std::make_unique<RecordingBackend>();
        registry = std::make_unique<WindowRegistry>();
        exitQuestions = 0;
        registry->setExitQuestion([this](QWidget *) {
            ++exitQuestions;
            return exitAnswer;
        });
    }

    void cleanup() {
        registry.reset();
        midi.reset();
    }

    void melodyLoadsWithDefaultsThenActivates() {
        variabiliglobali().instrument = 3; // the Melody window's load stores the defaults
        registry->open(DrillKind::Melody);
        DrillWindow *w = registry->window(DrillKind::Melody);
        QVERIFY(QTest::qWaitForWindowActive(w));
        QCOMPARE(midi->lines("formmelody"),
                 QStringList({"midiOpen", "setPan 1 64", "programChange 1 24", "midiOpen",
                              "programChange 1 24", "setPan 1 64"}));
        QVERIFY(w->feedbackSound()->isOpen());
        QCOMPARE(w->feedbackSound()->objectName(), QString("MCIWnd1"));
    }

    void eachDrillWindowLoadsActivatesAndUnloadsInItsOrder_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("opensFeedback");
        QTest::addColumn<QStringList>("unload");
        QTest::newRow("intervals")
            << int(DrillKind::Intervals) << "Formintervalli" << true << QStringList{"midiClose"};
        QTest::newRow("chords") << int(DrillKind::Chords) << "Formchords" << false << QStringList{};
        QTest::newRow("scales") << int(DrillKind::Scales) << "Formscales" << false << QStringList{};
    }

    void eachDrillWindowLoadsActivatesAndUnloadsInItsOrder() {
        QFETCH(int, kind);
        QFETCH(QString, name);
        QFETCH(bool, opensFeedback);
        QFETCH(QStringList, unload);
        openAndActivate(DrillKind::Melody);
        variabiliglobali().instrument = 40;
        variabiliglobali().pan = 10;
        variabiliglobali().channel = 3;
        midi->clear();

        DrillWindow *w = openAndActivate(DrillKind(kind));
        QCOMPARE(w->objectName(), name);
        QCOMPARE(midi->lines(name), QStringList({"midiOpen", "programChange 3 40", "setPan 3 10",
                                                 "midiOpen", "programChange 3 40", "setPan 3 10"}));
        QCOMPARE(w->feedbackSound()->isOpen(), opensFeedback);
        QCOMPARE(w->feedbackSound()->objectName(), QString("mci"));

        QSignalSpy feedback(w->feedbackSound(), &FeedbackSound::commandRun);
        midi->clear();
        w->close();
        QCOMPARE(midi->lines(name), unload);
        QCOMPARE(feedback.count(), opensFeedback ? 1 : 0);
        if (opensFeedback)
            QCOMPARE(feedback.first().first().toString(), QString("close"));
        QVERIFY(!w->isVisible());
        QVERIFY(!w->isLoaded());
        QCOMPARE(exitQuestions, 0);
    }

    void navigationRowDisablesTheWindowsOwnButton() {
        const std::pair<DrillKind, QString> own[] = {{DrillKind::Melody, "melody"},
                                                     {DrillKind::Intervals, "intervals"},
                                                     {DrillKind::Chords, "chords"},
                                                     {DrillKind::Scales, "Command1"}};
        for (const auto &[kind, ownName] : own) {
            DrillWindow *w = openAndActivate(kind);
            const auto buttons =
                w->findChild<QWidget *>("navigation")->findChildren<QPushButton *>();
            QStringList enabled, disabled;
            for (QPushButton *b : buttons)
                (b->isEnabled() ? enabled : disabled) << b->objectName();
            QCOMPARE(disabled, QStringList{ownName});
            QVERIFY(enabled.contains("Exit"));
            QCOMPARE(w->menuBar()->actions().size(), 2);
            QCOMPARE(w->menuBar()->actions().at(0)->text(), QString("Options"));
            QCOMPARE(w->menuBar()->actions().at(0)->objectName(),
                     QString(kind == DrillKind::Intervals ? "optionmnu" : "optionsmnu"));
            QCOMPARE(w->menuBar()->actions().at(1)->objectName(), QString("aboutmnu"));
            for (QWidget *c : w->centralWidget()->findChildren<QWidget *>())
                if (qobject_cast<QAbstractButton *>(c))
                    QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
        }
        QCOMPARE(registry->window(DrillKind::Scales)->windowTitle(), QString("Scales"));
        QCOMPARE(registry->window(DrillKind::Chords)->windowTitle(), QString("Tonvik 1.0 Chords"));
    }

    void openingAnOpenWindowRaisesItWithoutLoadingAgain() {
        DrillWindow *melody = openAndActivate(DrillKind::Melody);
        click(melody, "intervals");
        DrillWindow *intervals = registry->window(DrillKind::Intervals);
        QVERIFY(QTest::qWaitForWindowActive(intervals));
        melody->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(melody));
        midi->clear();
        click(melody, "intervals");
        QVERIFY(QTest::qWaitForWindowActive(intervals));
        QCOMPARE(registry->window(DrillKind::Intervals), intervals);
        // Activation only: no second load.
        QCOMPARE(midi->lines("Formintervalli"),
                 QStringList({"midiOpen", "programChange 1 24", "setPan 1 64"}));
        int count = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            count += w->objectName() == "Formintervalli";
        QCOMPARE(count, 1);
    }

    void noToTheExitQuestionLeavesEverythingAsItWas() {
        openAndActivate(DrillKind::Melody);
        openAndActivate(DrillKind::Intervals);
        DrillWindow *chords = openAndActivate(DrillKind::Chords);
        QSignalSpy finished(registry.get(), &WindowRegistry::finished);
        midi->clear();
        exitAnswer = false;
        click(chords, "Exit");
        QCOMPARE(exitQuestions, 1);
        QCoreApplication::processEvents();
        for (DrillKind k : {DrillKind::Melody, DrillKind::Intervals, DrillKind::Chords}) {
            QVERIFY(registry->window(k)->isVisible());
            QVERIFY(registry->window(k)->isLoaded());
        }
        QVERIFY(!midi->lines().contains("formmelody midiClose"));
        QVERIFY(registry->window(DrillKind::Melody)->feedbackSound()->isOpen());
        QCOMPARE(finished.count(), 0);
    }

    void yesClosesEveryWindowInOrderAndEndsTheRun() {
        DrillWindow *melody = openAndActivate(DrillKind::Melody);
        for (DrillKind k : {DrillKind::Intervals, DrillKind::Chords, DrillKind::Scales})
            openAndActivate(k);
        QSignalSpy finished(registry.get(), &WindowRegistry::finished);
        QSignalSpy melodySound(melody->feedbackSound(), &FeedbackSound::commandRun);
        midi->clear();
        exitAnswer = true;
        click(registry->window(DrillKind::Scales), "Exit");
        QVERIFY(finished.wait(2000) || finished.count() == 1);
        QCOMPARE(exitQuestions, 1);
        QCOMPARE(midi->lines(), QStringList({"formmelody midiClose", "Formintervalli midiClose"}));
        QCOMPARE(melodySound.count(), 1);
        QCOMPARE(melodySound.first().first().toString(), QString("close"));
        for (DrillKind k :
             {DrillKind::Melody, DrillKind::Intervals, DrillKind::Chords, DrillKind::Scales}) {
            QVERIFY(!registry->window(k)->isVisible());
            QVERIFY(!registry->window(k)->isLoaded());
        }
    }

    void closedWindowIsLoadedAfreshWhenOpenedAgain() {
        openAndActivate(DrillKind::Melody);
        DrillWindow *scales = openAndActivate(DrillKind::Scales);
        QPointer<QPushButton> oldButton = scales->findChild<QPushButton *>("Exit");
        scales->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(oldButton.isNull());
        midi->clear();
        QCOMPARE(openAndActivate(DrillKind::Scales), scales);
        QVERIFY(scales->isLoaded());
        QVERIFY(scales->findChild<QPushButton *>("Exit"));
        QCOMPARE(midi->lines("Formscales").mid(0, 3),
                 QStringList({"midiOpen", "programChange 1 24", "setPan 1 64"}));
    }

    void splashOpensTheMelodyWindowExactlyOnce_data() {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("key") << true;
        QTest::newRow("click on the frame") << false;
    }

    void splashOpensTheMelodyWindowExactlyOnce() {
        QFETCH(bool, byKey);
        registry->showSplash();
        SplashWindow *splash = registry->splash();
        QVERIFY(QTest::qWaitForWindowExposed(splash));
        QCOMPARE(splash->windowTitle(), QString());
        for (int i = 0; i < 3; ++i) {
            if (byKey)
                QTest::keyClick(splash, Qt::Key_A + i);
            else
                QTest::mouseClick(splash->Frame1, Qt::LeftButton);
        }
        QCoreApplication::processEvents();
        QVERIFY(!splash->isVisible());
        QVERIFY(registry->window(DrillKind::Melody)->isVisible());
        // The Melody window's load is the only place that sends pan before program.
        const QStringList calls = midi->lines("formmelody");
        int loads = 0;
        for (int i = 0; i + 1 < calls.size(); ++i)
            loads += calls[i] == "midiOpen" && calls[i + 1].startsWith("setPan");
        QCOMPARE(loads, 1);
    }

    void newInstrumentReachesEachWindowWhenItIsNextActivated() {
        DrillWindow *melody = openAndActivate(DrillKind::Melody);
        DrillWindow *intervals = openAndActivate(DrillKind::Intervals);
        registry->runModal = [](QDialog *d) {
            auto *form = qobject_cast<OptionsForm *>(d);
            QVERIFY(form);
            form->show();
            form->comboinstr->setCurrentIndex(40);
            form->close(); // the close box: the shown values are stored
        };
        midi->clear();
        QAction *options = intervals->menuBar()->actions().at(0);
        options->trigger();
        QCOMPARE(variabiliglobali().instrument, 40);
        QVERIFY(midi->lines("formmelody").isEmpty());
        intervals->activateWindow(); // as the closed modal dialog hands activation back
        QVERIFY(QTest::qWaitForWindowActive(intervals));
        melody->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(melody));
        QVERIFY(midi->lines("formmelody").contains("programChange 1 40"));
    }

    void volumeSurvivesOpeningTheIntervalsWindow() {
        openAndActivate(DrillKind::Melody);
        variabiliglobali().volume = 60;
        openAndActivate(DrillKind::Intervals);
        QCOMPARE(variabiliglobali().volume, 60);
    }

    void aboutWindowOpensModallyFromTheMenu() {
        DrillWindow *chords = openAndActivate(DrillKind::Chords);
        QString title;
        bool modal = false;
        registry->runModal = [&](QDialog *d) {
            title = d->windowTitle();
            modal = d->isModal();
        };
        chords->menuBar()->actions().at(1)->trigger();
        QCOMPARE(title, QString("About!"));
        QVERIFY(modal);
    }
};

QTEST_MAIN(TestWindows)
#include "test_windows.moc"
