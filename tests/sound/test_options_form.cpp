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

    void closingUntouchedKeepsEverySetting() {
        variabiliglobali() = {77, 100, 9, 20};
        OptionsForm form;
        QCOMPARE(form.Combochannel->currentText(), QString("9"));
        QCOMPARE(form.comboinstr->currentIndex(), 100);
        QCOMPARE(form.volumeslider->value(), 77);
        QCOMPARE(form.panslider->value(), 20);
        closeBox(form);
        const SoundSettings &s = variabiliglobali();
        QCOMPARE(s.volume, 77);
        QCOMPARE(s.instrument, 100);
        QCOMPARE(s.channel, 9);
        QCOMPARE(s.pan, 20);
    }

    void channelEntriesMapToChannels() {
        OptionsForm last;
        last.Combochannel->setCurrentIndex(15);
        closeBox(last);
        QCOMPARE(variabiliglobali().channel, 16);
        OptionsForm first;
        first.Combochannel->setCurrentIndex(0);
        closeBox(first);
        QCOMPARE(variabiliglobali().channel, 1);
    }

    void centerStoresMiddlePanOnlyWhenClosed() {
        variabiliglobali().pan = 3;
        OptionsForm form;
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        QCOMPARE(form.panslider->value(), 64);
        QCOMPARE(variabiliglobali().pan, 3);
        closeBox(form);
        QCOMPARE(variabiliglobali().pan, 64);
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
