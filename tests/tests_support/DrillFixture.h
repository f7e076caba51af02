#pragma once

#include "sound/SoundSettings.h"
#include "tests_support/Controls.h"
#include "tests_support/RecordingBackend.h"

#include <QTest>
#include <memory>

// A drill window loaded afresh for each test, with the default settings and a MIDI
// recorder that holds nothing of the loading.
template <typename Form> class DrillFixture {
  protected:
    std::unique_ptr<RecordingBackend> midi;
    std::unique_ptr<Form> w;

    void openWindow() {
        variabiliglobali() = SoundSettings{};
        midi = std::make_unique<RecordingBackend>();
        w = std::make_unique<Form>();
        w->showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        midi->clear();
    }

    void closeWindow() {
        w.reset();
        midi.reset();
    }

    // Questions, right answers and percentage, as the labels show them.
    QStringList score(const QString &questions = "Label8") const {
        return {text(w.get(), questions), text(w.get(), "Label5"), text(w.get(), "Label7")};
    }
};
