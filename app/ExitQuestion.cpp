// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ExitQuestion.h"

#include "progress/ProgressStore.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

bool askExitQuestion(QWidget *parent) {
    // Answers the store could not keep are tried once more; those it still cannot keep
    // are named in the question, which offers to save them elsewhere.
    ProgressStore *store = ProgressStore::current();
    if (store && store->waiting().count > 0)
        store->tryAgain(3000);
    QString saved;
    while (true) {
        QMessageBox box(QMessageBox::Warning, "Tonvik 1.0", "Exit from Tonvik 1.0?",
                        QMessageBox::Yes | QMessageBox::No, parent);
        box.setObjectName("exitquestion");
        box.setDefaultButton(QMessageBox::Yes);
        const ProgressStore::Waiting waiting = store ? store->waiting() : ProgressStore::Waiting{};
        QPushButton *save = nullptr;
        if (waiting.count > 0) {
            box.setInformativeText(
                QString("%1 of this run cannot be kept in %2 (%3)%4")
                    .arg(waiting.count == 1 ? QString("1 answer")
                                            : QString("%1 answers").arg(waiting.count),
                         QDir::toNativeSeparators(store->path()),
                         waiting.reason.isEmpty() ? QString("it is not written yet")
                                                  : waiting.reason,
                         saved.isEmpty() ? QString(" and will be lost unless saved as CSV.")
                                         : saved));
            save = box.addButton("&Save as CSV...", QMessageBox::ActionRole);
            save->setObjectName("savewaiting");
        }
        box.exec();
        if (!save || box.clickedButton() != save)
            return box.clickedButton() == box.button(QMessageBox::Yes);
        const QString file = QFileDialog::getSaveFileName(
            &box, "Save the answers", "tonvik-answers.csv", "CSV files (*.csv)");
        QString error;
        if (!file.isEmpty())
            saved = store->exportWaiting(file, &error)
                        ? QString(". They are saved in %1.").arg(QDir::toNativeSeparators(file))
                        : QString(" and will be lost: they could not be saved (%1).").arg(error);
    }
}
