// SPDX-License-Identifier: GPL-3.0-or-later
// The "Settings" dialog shows the settings when it opens and stores what it shows
// when it closes, whichever way it is closed.
#include "sound/OptionsForm.h"
#include "sound/SoundSettings.h"

#include <QComboBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>

class TestOptionsForm : public QObject {
    Q_OBJECT

    static void closeBox(OptionsForm &form) {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.close();
    }

  private slots:
    void init() { variabiliglobali() = SoundSettings{}; }

    void instrumentAndChannelLists() {
        OptionsForm form;
        QCOMPARE(form.windowTitle(), QString("Settings"));
        QCOMPARE(form.comboinstr->count(), 128);
        QCOMPARE(form.comboinstr->currentText(), QString("24=Acoustic Guitar (nylon)"));
        for (int i = 0; i < 128; ++i)
            QVERIFY(form.comboinstr->itemText(i).startsWith(QString::number(i) + "="));
        QCOMPARE(form.Combochannel->count(), 16);
        QCOMPARE(form.Combochannel->itemText(15), QString("16"));
    }

    // The dialog shows the settings, and its close box stores what it shows: untouched,
    // the same; the last channel entry is channel 16; "Center" is pan 64, once closed.
    void closingStoresWhatItShows() {
        variabiliglobali() = {77, 100, 9, 3};
        OptionsForm form;
        QCOMPARE(form.Combochannel->currentText(), QString("9"));
        QCOMPARE(form.comboinstr->currentIndex(), 100);
        QCOMPARE(form.volumeslider->value(), 77);
        form.Combochannel->setCurrentIndex(15);
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        QCOMPARE(form.panslider->value(), 64);
        QCOMPARE(variabiliglobali().pan, 3);
        closeBox(form);
        const SoundSettings &s = variabiliglobali();
        QCOMPARE(QList<int>({s.volume, s.instrument, s.channel, s.pan}),
                 QList<int>({77, 100, 16, 64}));
    }

    void escapeAlsoStoresTheShownValues() {
        OptionsForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.volumeslider->setValue(60);
        form.comboinstr->setCurrentIndex(73);
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(!form.isVisible());
        QCOMPARE(variabiliglobali().volume, 60);
        QCOMPARE(variabiliglobali().instrument, 73);
    }
};

QTEST_MAIN(TestOptionsForm)
#include "test_options_form.moc"
