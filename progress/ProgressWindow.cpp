// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/ProgressWindow.h"

#include "drill/DrillWindow.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QValueAxis>

namespace {

QString percent(int value) {
    return QString::number(value) + " %";
}

// A bar chart of one value per category, with a value axis from 0 to `top`.
QChartView *barChart(const QString &title, const QStringList &categories,
                     const std::vector<double> &values, double top, const QString &unit) {
    auto *set = new QBarSet(unit);
    for (double v : values)
        set->append(v);
    auto *series = new QBarSeries;
    series->append(set);
    series->setLabelsVisible(true);
    series->setLabelsFormat("@value");
    auto *chart = new QChart;
    chart->setTitle(title);
    chart->addSeries(series);
    chart->legend()->hide();
    auto *x = new QBarCategoryAxis;
    x->append(categories);
    x->setLabelsAngle(categories.size() > 4 ? -45 : 0);
    auto *y = new QValueAxis;
    y->setRange(0, top);
    y->setLabelFormat("%.0f");
    y->setTitleText(unit);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    auto *view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(420, 300);
    view->setAccessibleName(title);
    view->setAccessibleDescription("The same figures are in the table beside the chart");
    return view;
}

QWidget *side(QWidget *chart, QWidget *table) {
    auto *w = new QWidget;
    auto *layout = new QHBoxLayout(w);
    layout->addWidget(chart, 3);
    layout->addWidget(table, 2);
    return w;
}

} // namespace

QTableWidget *figureTable(const QString &name, const QStringList &headers,
                          const std::vector<QStringList> &rows) {
    auto *table = new QTableWidget(int(rows.size()), int(headers.size()));
    table->setObjectName(name);
    table->setAccessibleName(name);
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int r = 0; r < int(rows.size()); ++r)
        for (int c = 0; c < int(headers.size()) && c < rows[size_t(r)].size(); ++c)
            table->setItem(r, c, new QTableWidgetItem(rows[size_t(r)][c]));
    table->resizeColumnsToContents();
    return table;
}

ProgressWindow::ProgressWindow(ProgressStore &store, DrillWindow *drill, QWidget *parent)
    : QMainWindow(parent), store_(store), drill_(drill), drillName_(drill->drillName()) {
    setObjectName("progresswindow");
    setWindowTitle("Progress: " + drill->windowTitle());
    setAccessibleName(windowTitle());

    auto *periodLabel = new QLabel("&Period");
    period_ = new QComboBox;
    period_->setObjectName("period");
    period_->addItems({"Last 7 days", "Last 30 days", "All"});
    period_->setCurrentIndex(2);
    periodLabel->setBuddy(period_);
    auto *weakest = new QPushButton("&Tick the weakest");
    weakest->setObjectName("tickweakest");
    weakest->setToolTip("Ticks in the drill window the items answered worst (at least 5 "
                        "answers each) and clears the others");
    auto *exportButton = new QPushButton("&Export CSV...");
    exportButton->setObjectName("exportcsv");
    auto *top = new QHBoxLayout;
    top->addWidget(periodLabel);
    top->addWidget(period_);
    loading_ = new QLabel("Loading the answers...");
    loading_->setObjectName("loading");
    loading_->hide();
    top->addWidget(loading_);
    top->addStretch(1);
    top->addWidget(weakest);
    top->addWidget(exportButton);

    empty_ = new QLabel("No answers yet for this drill in this period. Choose \"Test mode\" in "
                        "the drill window, press \"New\" and answer: every answer judged is kept "
                        "here.");
    empty_->setObjectName("empty");
    empty_->setWordWrap(true);
    tabs_ = new QTabWidget;
    // A main window, so that assistive technology presents it as a window of its own.
    auto *central = new QWidget;
    setCentralWidget(central);
    auto *layout = new QVBoxLayout(central);
    layout->addLayout(top);
    layout->addWidget(empty_);
    weights_ = figureTable("Weights now", {"Item", "Weight"}, {});
    weights_->setAccessibleDescription(
        "With \"Weak items more often\" ticked in the drill window, New asks each ticked item "
        "as often as its weight says against the others': more the more often it went wrong "
        "in the last 30 days and the longer it has not been asked; an item with no answers "
        "counts as weak");
    weights_->setToolTip(weights_->accessibleDescription());
    weights_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents); // as wide as they are
    auto *body = new QHBoxLayout;
    body->addWidget(tabs_, 1);
    body->addWidget(weights_, 0, Qt::AlignLeft);
    layout->addLayout(body, 1);
    connect(drill, &DrillWindow::weightsChanged, this, &ProgressWindow::showWeights);
    showWeights();

    connect(period_, &QComboBox::currentIndexChanged, this, &ProgressWindow::refresh);
    connect(weakest, &QPushButton::clicked, this, &ProgressWindow::tickTheWeakest);
    connect(exportButton, &QPushButton::clicked, this, &ProgressWindow::exportCsv);
    // Answers given while the window is open join it; a burst of them redraws once.
    follow_.setSingleShot(true);
    follow_.setInterval(150);
    connect(&follow_, &QTimer::timeout, this, [this] {
        if (isVisible())
            refresh();
    });
    connect(&store_, &ProgressStore::recorded, &follow_, qOverload<>(&QTimer::start));
    // A window to glance at and put away: Escape closes it.
    new QShortcut(QKeySequence::Cancel, this, this, &QWidget::close);
    resize(980, 560);
    worker_.setMaxThreadCount(1);
    empty_->hide();
    tabs_->hide();
    refresh();
}

ProgressWindow::~ProgressWindow() {
    worker_.clear(); // the reads not begun; the one under way ends first
}

void ProgressWindow::refresh() {
    const int days[] = {7, 30, 0};
    const QDateTime since =
        ProgressFigures::periodStart(days[std::max(0, period_->currentIndex())]);
    const int reading = ++reading_;
    loading_->show();
    // The file is read, and the figures worked out, away from the user-interface thread:
    // on a hundred thousand answers that takes a good part of a second.
    worker_.start([this, reading, since, store = &store_, drill = drillName_] {
        const std::vector<Answer> answers = store->answers(drill, since, true);
        QMetaObject::invokeMethod(
            this,
            [this, reading, figures = ProgressFigures::of(drill, answers), any = !answers.empty()] {
                showFigures(reading, figures, any);
            },
            Qt::QueuedConnection);
    });
}

void ProgressWindow::showFigures(int reading, const ProgressFigures &figures, bool any) {
    if (reading < reading_)
        return; // a newer read is on its way
    figures_ = figures;
    // The page in view (by its place among all pages: some may not be made yet).
    const int current =
        tabs_->currentWidget() ? tabs_->currentWidget()->property("page").toInt() : 0;
    while (tabs_->count() > 0) {
        QWidget *page = tabs_->widget(0);
        tabs_->removeTab(0);
        delete page; // at once: nothing of it may be found (by name) after a redraw
    }
    empty_->setVisible(!any);
    tabs_->setVisible(any);
    pages_.clear();
    if (any) {
        pages_ = {{&ProgressWindow::accuracyTab, "&Accuracy"},
                  drillName_ == "melody" ? Page{&ProgressWindow::positionTab, "By p&osition"}
                                         : Page{&ProgressWindow::confusionTab, "&Confusion"},
                  {&ProgressWindow::dayTab, "By &day"},
                  {&ProgressWindow::timeTab, "Answer ti&me"}};
        // The page in view first, at once; the others one at a time, each in a turn of
        // the event loop of its own, so that none keeps the window from answering.
        if (current < int(pages_.size()))
            std::rotate(pages_.begin(), pages_.begin() + current, pages_.begin() + current + 1);
        for (int k = 0; k < int(pages_.size()); ++k)
            pages_[size_t(k)].index = k == 0 ? current : k - (k <= current ? 1 : 0);
    }
    addPages(reading);
}

void ProgressWindow::addPages(int reading) {
    if (reading < reading_)
        return; // a newer read takes the place of these pages
    if (pages_.empty()) {
        shown_ = reading;
        loading_->hide();
        if (std::exchange(tickWhenRead_, false))
            tickFromFigures();
        return;
    }
    const Page page = pages_.front();
    pages_.erase(pages_.begin());
    int at = 0; // among the pages already there, those before it
    for (int k = 0; k < tabs_->count(); ++k)
        at += tabs_->widget(k)->property("page").toInt() < page.index;
    QWidget *widget = (this->*page.make)();
    widget->setProperty("page", page.index);
    tabs_->insertTab(at, widget, page.title);
    if (tabs_->count() == 1)
        tabs_->setCurrentIndex(0);
    QTimer::singleShot(0, this, [this, reading] { addPages(reading); });
}

// Only the items that were asked in the period.
QWidget *ProgressWindow::accuracyTab() {
    QStringList names;
    std::vector<double> accuracy;
    std::vector<QStringList> rows;
    for (size_t i = 0; i < figures_.perItem.size(); ++i) {
        const ProgressFigures::Count &t = figures_.perItem[i];
        if (t.answers == 0)
            continue;
        const QString name = figures_.itemNames[qsizetype(i)];
        names << QString("%1 (%2)").arg(name).arg(t.answers);
        accuracy.push_back(t.accuracy());
        rows.push_back({name, QString::number(t.answers), QString::number(t.right),
                        percent(t.accuracy()), QString::number(figures_.medianMs[i], 'f', 0)});
    }
    const QString title = drillName_ == "melody" ? "Accuracy per note" : "Accuracy per item";
    return side(barChart(title, names, accuracy, 100, "% right"),
                figureTable("Figures per item",
                            {"Item", "Answers", "Right", "Accuracy", "Median time (ms)"}, rows));
}

// Asked against answered, as a heat map: the darker, the more often.
QWidget *ProgressWindow::confusionTab() {
    std::set<int> asked, answered;
    int most = 1;
    for (const auto &[pair, n] : figures_.confused) {
        asked.insert(pair.first);
        answered.insert(pair.second);
        most = std::max(most, n);
    }
    const std::vector<int> rowsAsked(asked.begin(), asked.end());
    const std::vector<int> columnsAnswered(answered.begin(), answered.end());
    QStringList headers{"Asked \\ answered"};
    for (int a : columnsAnswered) // -1: notes played that make no item
        headers << (a < 0 ? QString("other notes") : figures_.itemNames.value(a));
    std::vector<QStringList> rows;
    for (int q : rowsAsked) {
        QStringList row{figures_.itemNames.value(q)};
        for (int a : columnsAnswered) {
            const auto it = figures_.confused.find({q, a});
            row << (it == figures_.confused.end() ? QString() : QString::number(it->second));
        }
        rows.push_back(row);
    }
    QTableWidget *table = figureTable("Asked against answered", headers, rows);
    for (int r = 0; r < table->rowCount(); ++r)
        for (int c = 1; c < table->columnCount(); ++c) {
            const int asked = rowsAsked[size_t(r)], answered = columnsAnswered[size_t(c - 1)];
            const auto found = figures_.confused.find({asked, answered});
            QTableWidgetItem *item = table->item(r, c);
            if (found == figures_.confused.end() || !item)
                continue;
            const int n = found->second;
            const bool right = asked == answered;
            const int shade = 255 - 200 * n / most;
            item->setBackground(right ? QColor(shade, 255, shade) : QColor(255, shade, shade));
            item->setForeground(shade < 120 ? Qt::white : Qt::black);
            item->setToolTip(QString("%1 asked, %2 answered: %3 times")
                                 .arg(table->item(r, 0)->text(), headers[c])
                                 .arg(n));
        }
    return table;
}

QWidget *ProgressWindow::positionTab() {
    QStringList names;
    std::vector<double> accuracy;
    std::vector<QStringList> rows;
    for (size_t k = 0; k < figures_.perPosition.size(); ++k) {
        const ProgressFigures::Count &t = figures_.perPosition[k];
        names << QString::number(k + 1);
        accuracy.push_back(t.accuracy());
        rows.push_back({QString::number(k + 1), QString::number(t.answers),
                        QString::number(t.right), percent(t.accuracy())});
    }
    return side(
        barChart("Accuracy per position in the melody", names, accuracy, 100, "% right"),
        figureTable("Figures per position", {"Position", "Notes", "Right", "Accuracy"}, rows));
}

QWidget *ProgressWindow::dayTab() {
    auto *line = new QLineSeries;
    std::vector<QStringList> rows;
    for (const auto &[day, t] : figures_.perDay) {
        line->append(double(QDateTime(day, QTime(12, 0)).toMSecsSinceEpoch()), t.accuracy());
        rows.push_back({day.toString(Qt::ISODate), QString::number(t.answers),
                        QString::number(t.right), percent(t.accuracy())});
    }
    line->setPointsVisible(true);
    auto *chart = new QChart;
    chart->setTitle("Accuracy per day");
    chart->addSeries(line);
    chart->legend()->hide();
    auto *x = new QDateTimeAxis;
    x->setFormat("dd MMM");
    const QDate first = figures_.perDay.begin()->first, last = figures_.perDay.rbegin()->first;
    x->setRange(QDateTime(first.addDays(-1), QTime(12, 0)),
                QDateTime(last.addDays(1), QTime(12, 0)));
    x->setTickCount(int(std::min<qint64>(first.daysTo(last) + 3, 8)));
    auto *y = new QValueAxis;
    y->setRange(0, 100);
    y->setTitleText("% right");
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    line->attachAxis(x);
    line->attachAxis(y);
    auto *view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    view->setAccessibleName("Accuracy per day");
    return side(view,
                figureTable("Figures per day", {"Day", "Answers", "Right", "Accuracy"}, rows));
}

QWidget *ProgressWindow::timeTab() {
    QStringList names;
    std::vector<double> medians;
    double top = 1000;
    for (size_t i = 0; i < figures_.perItem.size(); ++i)
        if (figures_.perItem[i].answers > 0) {
            names << figures_.itemNames[qsizetype(i)];
            medians.push_back(std::round(figures_.medianMs[i]));
            top = std::max(top, medians.back() * 1.15);
        }
    return barChart("Median time from the end of the question to the answer", names, medians, top,
                    "ms");
}

void ProgressWindow::showWeights() {
    const std::vector<double> weights =
        drill_ && drill_->itemWeights ? drill_->itemWeights() : std::vector<double>();
    const QStringList names = ProgressFigures::of(drillName_, {}).itemNames;
    weights_->setRowCount(int(weights.size()));
    for (int i = 0; i < int(weights.size()) && i < names.size(); ++i) {
        weights_->setItem(i, 0, new QTableWidgetItem(names[i]));
        weights_->setItem(i, 1, new QTableWidgetItem(QString::number(weights[size_t(i)], 'f', 2)));
    }
    weights_->resizeColumnsToContents();
}

void ProgressWindow::tickTheWeakest() {
    // From what is stored now, whatever the window showed: once it has been read.
    tickWhenRead_ = true;
    refresh();
}

void ProgressWindow::tickFromFigures() {
    if (!drill_)
        return;
    const std::set<int> weakest = figures_.weakest();
    if (weakest.empty()) {
        QMessageBox::information(this, windowTitle(),
                                 "No item has 5 answers or more in this period yet.");
        return;
    }
    // The ticks are the drill window's: a closed one opens to take them.
    if (!drill_->isLoaded())
        drill_->showWindow();
    drill_->tickItems(weakest);
}

void ProgressWindow::exportCsv() {
    const QString file = QFileDialog::getSaveFileName(this, "Export CSV", "tonvik-progress.csv",
                                                      "CSV files (*.csv)");
    if (file.isEmpty())
        return;
    const QString name = QDir::toNativeSeparators(file);
    statusBar()->showMessage(QString("Exporting the answers to %1...").arg(name));
    worker_.start([this, file, name, store = &store_] {
        QString error;
        const bool done = store->exportCsv(file, &error);
        QMetaObject::invokeMethod(
            this,
            [this, done, error, name] {
                statusBar()->showMessage(done ? QString("The answers are in %1.").arg(name)
                                              : QString("Not exported."));
                if (!done)
                    QMessageBox::warning(this, windowTitle(),
                                         "The answers could not be exported: " + error);
            },
            Qt::QueuedConnection);
    });
}
