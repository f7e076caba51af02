// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "progress/ProgressFigures.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

class DrillWindow;
class QComboBox;
class QLabel;
class QTabWidget;
class QTableWidget;

// A drill's answers over a period, as charts with their numbers in tables beside them
// (for screen readers as much as for reading off): accuracy and median answer time per
// item, what was answered for what was asked (for a melody, accuracy per position),
// and accuracy per day. "Tick the weakest" ticks, in the drill window, the items that
// go wrong most often. Beside them, each item's weight for "Weak items more often".
class ProgressWindow : public QMainWindow {
    Q_OBJECT
  public:
    ProgressWindow(ProgressStore &store, DrillWindow *drill, QWidget *parent = nullptr);

    // Reads the store again for the chosen period and redraws.
    void refresh();
    const ProgressFigures &figures() const { return figures_; }

  private:
    void tickTheWeakest();
    void exportCsv();
    QWidget *accuracyTab();
    QWidget *confusionTab();
    QWidget *positionTab();
    QWidget *dayTab();
    QWidget *timeTab();
    // The drill window's weights of its items, as New draws by them now.
    void showWeights();

    ProgressStore &store_;
    QPointer<DrillWindow> drill_;
    QString drillName_;
    ProgressFigures figures_;
    QTableWidget *weights_ = nullptr;
    QComboBox *period_ = nullptr;
    QLabel *empty_ = nullptr;
    QTabWidget *tabs_ = nullptr;
    QTimer follow_; // answers recorded while the window is open show shortly after
};

// A table of figures, read-only, named for assistive technology.
QTableWidget *figureTable(const QString &name, const QStringList &headers,
                          const std::vector<QStringList> &rows);
