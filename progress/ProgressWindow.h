// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "progress/ProgressFigures.h"

#include <QMainWindow>
#include <QPointer>
#include <QThreadPool>
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

    ~ProgressWindow() override;

    // Reads the store again for the chosen period, on a thread of the window's own, and
    // redraws when it has read; meanwhile the window says it is loading.
    void refresh();
    bool loading() const { return reading_ > shown_; }
    const ProgressFigures &figures() const { return figures_; }

  private:
    void showFigures(int reading, const ProgressFigures &figures, bool any);
    void addPages(int reading);
    void tickTheWeakest();
    void tickFromFigures();
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
    QLabel *loading_ = nullptr;
    struct Page {
        QWidget *(ProgressWindow::*make)();
        QString title;
        int index = 0; // its place among the tabs
    };
    std::vector<Page> pages_;     // the tabs still to be made for the figures shown
    QTimer follow_;               // answers recorded while the window is open show shortly after
    int reading_ = 0, shown_ = 0; // the refreshes asked for and the newest one shown
    bool tickWhenRead_ = false;
    QThreadPool worker_; // last: its reads end before the rest of the window goes
};

// A table of figures, read-only, named for assistive technology.
QTableWidget *figureTable(const QString &name, const QStringList &headers,
                          const std::vector<QStringList> &rows);
