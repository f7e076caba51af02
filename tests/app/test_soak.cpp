// SPDX-License-Identifier: GPL-3.0-or-later
// Thousands of random clicks, choices and keys over every window and dialog, the real
// synthesiser rendering offline and every pause at 0 ms: nothing may crash (under the
// sanitizers too) and memory stops growing once everything has been used.
#include "app/SplashWindow.h"
#include "app/WindowRegistry.h"
#include "drill/Random.h"
#include "sound/AudioEngine.h"
#include "sound/EngineProbe.h"
#include "sound/MidiControl.h"
#include "sound/SoundSettings.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmapCache>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <malloc.h>
#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime (its header is not always installed).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif
#include <random>

namespace {

// Memory allocated and not yet freed (the sanitizer build has an allocator of its own).
long heapInUseKiB() {
#if defined(__SANITIZE_ADDRESS__)
    return long(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    malloc_trim(0);
    return long(mallinfo2().uordblks / 1024);
#endif
}

} // namespace

class TestSoak : public QObject {
    Q_OBJECT

    std::mt19937 rng_{20261207};
    std::unique_ptr<AudioEngine> engine_;
    std::unique_ptr<WindowRegistry> registry_;
    int exits_ = 0, dialogs_ = 0;
    bool finished_ = false;

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    // What a user can operate: enabled, showing buttons, lists, sliders (not the pause).
    std::vector<QWidget *> controls(QWidget *window) {
        std::vector<QWidget *> out;
        for (QWidget *w : window->findChildren<QWidget *>()) {
            if (!w->isVisible() || !w->isEnabled() || w->objectName() == "Slider1")
                continue;
            if (qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) ||
                qobject_cast<QSlider *>(w))
                out.push_back(w);
        }
        return out;
    }

    void operate(QWidget *window) {
        // The drills' letters, and the keys that move about and press.
        const QString letters = "NRVAWSEDFTGYHUJ";
        const Qt::Key keys[] = {Qt::Key_Space,  Qt::Key_Tab,  Qt::Key_Return,
                                Qt::Key_Escape, Qt::Key_Down, Qt::Key_Up};
        switch (below(10)) {
        case 0: { // a key, to whatever has the focus
            QWidget *to = window->focusWidget() ? window->focusWidget() : window;
            const int k = below(int(letters.size() + std::size(keys)));
            QTest::keyClick(to, k < letters.size() ? Qt::Key(letters[k].unicode())
                                                   : keys[k - letters.size()]);
            return;
        }
        case 1: // a menu
            if (auto *w = qobject_cast<QMainWindow *>(window); w && w->menuBar()) {
                const auto actions = w->menuBar()->actions();
                if (!actions.isEmpty())
                    actions[below(int(actions.size()))]->trigger();
            }
            return;
        default:
            break;
        }
        const auto all = controls(window);
        if (all.empty())
            return;
        QWidget *c = all[size_t(below(int(all.size())))];
        if (auto *combo = qobject_cast<QComboBox *>(c))
            combo->setCurrentIndex(below(combo->count()));
        else if (auto *slider = qobject_cast<QSlider *>(c))
            slider->setValue(slider->minimum() + below(slider->maximum() - slider->minimum() + 1));
        else
            QTest::mouseClick(c, Qt::LeftButton);
    }

    void step() {
        QWidgetList windows;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && !qobject_cast<QMenu *>(w))
                windows << w;
        if (finished_ || windows.isEmpty()) { // the run was ended: start another
            startRun();
            return;
        }
        operate(windows[below(int(windows.size()))]);
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *slider = w->findChild<QSlider *>("Slider1"))
                slider->setValue(0);
        EngineProbe::setOrigin(*engine_, SteadyClock::now());
        EngineProbe::render(*engine_, 1024);
        // What a running program's event loop would do between two user actions.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Memory in use between two runs: windows gone, one instrument on every channel (only
    // the instruments held stay loaded), caches emptied, freed memory handed back.
    long settledKiB() {
        registry_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        MidiControl midi("soak");
        for (int channel = 1; channel <= 16; ++channel) {
            midi.programChange(channel, 0);
            midi.allNotesOff();
        }
        EngineProbe::setOrigin(*engine_, SteadyClock::now());
        EngineProbe::render(*engine_, 4096);
        QPixmapCache::clear(); // a cache, full or not depending on what was last drawn
        const long inUse = heapInUseKiB();
        startRun();
        return inUse;
    }

    // What starting the program does: the windows, the splash, a key.
    void startRun() {
        finished_ = false;
        registry_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        registry_ = std::make_unique<WindowRegistry>();
        connect(registry_.get(), &WindowRegistry::finished, this, [this] { finished_ = true; });
        // A dialog gets a few actions of its own, then is closed one way or the other.
        registry_->runModal = [this](QDialog *dialog) {
            ++dialogs_;
            dialog->show();
            for (int i = below(6); i > 0; --i)
                operate(dialog);
            dialog->done(below(2) ? QDialog::Accepted : QDialog::Rejected);
        };
        registry_->showSplash();
        QTest::keyClick(registry_->splash(), Qt::Key_Space);
    }

  private slots:
    void initTestCase() {
        // The offscreen platform's complaints about raising windows, thousands of them.
        static const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
                if (!message.startsWith("This plugin does not support"))
                    previous(type, context, message);
            });
        Random::fixSeed(20261207);
        // The exit question is the real message box: now and then Yes, and a new run.
        auto *answering = new QTimer(this);
        connect(answering, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                const bool yes = below(8) == 0;
                exits_ += yes;
                box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
            }
        });
        answering->start(1);
        variabiliglobali() = SoundSettings{};
        EngineConfig config;
        config.offline = true;
        // The large font, loaded preset by preset: the samples FluidSynth keeps of presets
        // used on two channels at once are let go of when the output has idled this long.
        config.idleSeconds = 0.05;
        engine_ = std::make_unique<AudioEngine>(config);
        QVERIFY(engine_->waitForSoundFont());
        MidiBackend::setCurrent(engine_.get());
        startRun();
    }

    void randomUseLeavesNothingBehind() {
        const int actions = qEnvironmentVariableIntValue("TONVIK_SOAK_ACTIONS") > 0
                                ? qEnvironmentVariableIntValue("TONVIK_SOAK_ACTIONS")
                                : 10000;
        std::vector<long> rss;
        for (int i = 1; i <= actions; ++i) {
            step();
            if (i % (actions / 8) == 0)
                rss.push_back(settledKiB());
        }
        QStringList eighths;
        for (long k : rss)
            eighths << QString::number(k);
        qInfo("%d actions, %d exits, %d dialogs; KiB in use at each eighth: %s", actions, exits_,
              dialogs_, qPrintable(eighths.join(' ')));
        QVERIFY(exits_ > 0 && dialogs_ > 0);
        // The second half stays within 2 MiB of the first half's highest point.
        const long firstHalf = *std::max_element(rss.begin(), rss.begin() + 4);
        const long secondHalf = *std::max_element(rss.begin() + 4, rss.end());
        QVERIFY2(secondHalf - firstHalf < 2048,
                 qPrintable(QString("grew by %1 KiB").arg(secondHalf - firstHalf)));
    }

    void cleanupTestCase() {
        registry_.reset();
        MidiBackend::setCurrent(nullptr);
        engine_.reset();
    }
};

QTEST_MAIN(TestSoak)
#include "test_soak.moc"
