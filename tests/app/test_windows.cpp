// SPDX-License-Identifier: GPL-3.0-or-later
// The application shell as a user drives it: splash, navigation between the drill
// windows and the dialogs, with every MIDI operation recorded. (The exit question is
// answered in the end-to-end test.)
#include "app/SplashWindow.h"
#include "app/WindowRegistry.h"
#include "sound/FeedbackSound.h"
#include "sound/OptionsForm.h"
#include "sound/SoundSettings.h"
#include "tests_support/Controls.h"
#include "tests_support/RecordingBackend.h"

#include <QAction>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <memory>

class TestWindows : public QObject {
    Q_OBJECT

    std::unique_ptr<RecordingBackend> midi;
    std::unique_ptr<WindowRegistry> registry;

    DrillWindow *openAndActivate(DrillKind kind) {
        registry->open(kind);
        DrillWindow *w = registry->window(kind);
        if (!QTest::qWaitForWindowActive(w))
            qWarning("%s did not become active", qPrintable(w->objectName()));
        return w;
    }

  private slots:
    void init() {
        variabiliglobali() = SoundSettings{};
        midi = std::make_unique<RecordingBackend>();
        registry = std::make_unique<WindowRegistry>();
    }
    void cleanup() {
        registry.reset();
        midi.reset();
    }

    void eachWindowLoadsActivatesAndUnloadsInItsOrder() {
        variabiliglobali().instrument = 3; // the Melody window's load stores the defaults
        openAndActivate(DrillKind::Melody);
        QCOMPARE(midi->lines("formmelody"),
                 QStringList({"midiOpen", "setPan 1 64", "programChange 1 24", "midiOpen",
                              "programChange 1 24", "setPan 1 64"}));
        struct Row {
            DrillKind kind;
            QString name, ownButton;
            bool feedbackOpenClose;
        };
        for (const Row &r : {Row{DrillKind::Intervals, "Formintervalli", "intervals", true},
                             Row{DrillKind::Chords, "Formchords", "chords", false},
                             Row{DrillKind::Scales, "Formscales", "Command1", false}}) {
            variabiliglobali() = {100, 40, 3, 10};
            DrillWindow *w = openAndActivate(r.kind);
            QCOMPARE(midi->lines(r.name),
                     QStringList({"midiOpen", "programChange 3 40", "setPan 3 10", "midiOpen",
                                  "programChange 3 40", "setPan 3 10"}));
            QCOMPARE(w->feedbackSound()->isOpen(), r.feedbackOpenClose);
            QStringList disabled;
            for (auto *b : control(w, "navigation")->findChildren<QPushButton *>())
                if (!b->isEnabled())
                    disabled << b->objectName();
            QCOMPARE(disabled, QStringList{r.ownButton});
            QCOMPARE(w->menuBar()->actions().at(0)->objectName(),
                     QString(r.kind == DrillKind::Intervals ? "optionmnu" : "optionsmnu"));

            // Opening it again raises it: an activation, no second load.
            registry->window(DrillKind::Melody)->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(registry->window(DrillKind::Melody)));
            midi->clear();
            QCOMPARE(openAndActivate(r.kind), w);
            QCOMPARE(midi->lines(r.name),
                     QStringList({"midiOpen", "programChange 3 40", "setPan 3 10"}));

            QSignalSpy feedback(w->feedbackSound(), &FeedbackSound::commandRun);
            midi->clear();
            w->close(); // its own close box: no question
            QCOMPARE(midi->lines(r.name),
                     r.feedbackOpenClose ? QStringList{"midiClose"} : QStringList{});
            QCOMPARE(feedback.count(), r.feedbackOpenClose ? 1 : 0);
            QVERIFY(!w->isLoaded() && !w->isVisible());
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(!w->findChild<QPushButton *>("Exit")); // the controls went with it
        }
        QCOMPARE(registry->window(DrillKind::Scales)->windowTitle(), QString("Scales"));
    }

    // A key goes to the splash when it is let go, a click on its frame likewise; either
    // opens the Melody window once, however many come.
    void splashOpensTheMelodyWindowOnce() {
        for (const bool byKey : {true, false}) {
            registry = std::make_unique<WindowRegistry>();
            registry->showSplash();
            SplashWindow *splash = registry->splash();
            QVERIFY(QTest::qWaitForWindowExposed(splash));
            if (byKey)
                QTest::keyPress(splash, Qt::Key_Space);
            QVERIFY(splash->isVisible());
            for (int i = 0; i < 3; ++i)
                byKey ? QTest::keyClick(splash, Qt::Key_A + i)
                      : QTest::mouseClick(splash->Frame1, Qt::LeftButton);
            QCoreApplication::processEvents();
            QVERIFY(!splash->isVisible() && registry->window(DrillKind::Melody)->isVisible());
            QCOMPARE(midi->lines("formmelody").filter("setPan").size(), 2); // load, activation
            midi->clear();
        }
    }

    void optionsReachEachWindowWhenItIsNextActivated() {
        DrillWindow *melody = openAndActivate(DrillKind::Melody);
        variabiliglobali().volume = 60; // loading Intervals keeps it
        DrillWindow *intervals = openAndActivate(DrillKind::Intervals);
        QCOMPARE(variabiliglobali().volume, 60);
        QString aboutTitle;
        registry->runModal = [&](QDialog *d) {
            if (auto *form = qobject_cast<OptionsForm *>(d)) {
                QTimer::singleShot(0, form, [form] {
                    form->comboinstr->setCurrentIndex(40);
                    form->close(); // the close box: the shown values are stored
                });
                form->exec();
            } else {
                aboutTitle = d->isModal() ? d->windowTitle() : QString();
            }
        };
        midi->clear();
        intervals->menuBar()->actions().at(0)->trigger();
        QCOMPARE(variabiliglobali().instrument, 40);
        QVERIFY(midi->lines("formmelody").isEmpty());
        QVERIFY(QTest::qWaitForWindowActive(intervals)); // activated again by the registry
        QVERIFY(midi->lines("Formintervalli").contains("programChange 1 40"));
        melody->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(melody));
        QVERIFY(midi->lines("formmelody").contains("programChange 1 40"));
        melody->menuBar()->actions().at(1)->trigger();
        QCOMPARE(aboutTitle, QString("About!"));
    }
};

QTEST_MAIN(TestWindows)
#include "test_windows.moc"
