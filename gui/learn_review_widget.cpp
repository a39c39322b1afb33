#include "gui/learn_review_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <array>

#include "app/commands.h"
#include "gui/main_window.h"
#include "gui/target_afr_widget.h"
#include "gui/tool_window_placement.h"

namespace veloquin::gui {
namespace {

// One row of the filters: a switch (none for the cell minimum) and its value.
struct FilterRow {
    const char* label;
    bool LearnFilters::*on;  // null: always on
    int LearnFilters::*whole;
    float LearnFilters::*fraction;
    double lo, hi, step;
};

constexpr std::array<FilterRow, 8> kFilterRows = {{
    {"Ignore the first and last seconds", &LearnFilters::trim_on, nullptr,
     &LearnFilters::trim_seconds, 0.0, 600.0, 0.5},
    {"Minimum rpm", &LearnFilters::min_rpm_on, &LearnFilters::min_rpm, nullptr, 0, 10000, 100},
    {"Intake air at least, \u00b0C", &LearnFilters::min_temperature_on,
     &LearnFilters::min_temperature_c, nullptr, -40, 150, 1},
    {"Throttle change per sample at most, %", &LearnFilters::throttle_step_on, nullptr,
     &LearnFilters::max_throttle_step, 0.0, 100.0, 0.1},
    {"Samples skipped after a gear change or throttle step", &LearnFilters::settle_on,
     &LearnFilters::settle_samples, nullptr, 0, 5000, 5},
    {"Overrun: throttle closed and AFR at least", &LearnFilters::overrun_on, nullptr,
     &LearnFilters::overrun_afr, 10.0, 30.0, 0.5},
    {"AFR at most (fuel correction)", &LearnFilters::max_afr_on, nullptr, &LearnFilters::max_afr,
     5.0, 30.0, 0.1},
    {"Minimum samples per cell", nullptr, &LearnFilters::min_samples, nullptr, 1, 100000, 5},
}};

constexpr const char* kLegend =
    "Over the map: red cells would rise (more airflow, more fuel), blue ones fall; the "
    "stronger the colour, the further (full at 10 %). Green: the log agrees with the cell. "
    "Pale with grey text: too few samples, left alone. Purple: refused, leaner than AFR "
    "protect allows; never applied. The section graphs show the proposal "
    "in blue. Cells an Apply changed are framed in teal until the map changes again.";

}  // namespace

LearnReviewWidget::LearnReviewWidget(MainWindow& window)
    : QWidget(&window, Qt::Tool), window_(window) {
    setObjectName(QStringLiteral("learn_review"));
    setWindowTitle(QStringLiteral("Learn from log"));
    auto* layout = new QVBoxLayout(this);
    map_ = new QComboBox(this);
    map_->addItem(QStringLiteral("MAF Emulation (MAP-2-MAF)"));
    map_->addItem(QStringLiteral("Fuel Correction (FUEL-CORRECTION, AFR to the target AFR table)"));
    layout->addWidget(map_);
    auto* grid = new QGridLayout;
    build_filters(grid);
    layout->addLayout(grid);
    summary_ = new QLabel(this);
    summary_->setWordWrap(true);
    layout->addWidget(summary_);
    auto* legend = new QLabel(QString::fromUtf8(kLegend), this);
    legend->setWordWrap(true);
    layout->addWidget(legend);
    hit_numbers_ = new QCheckBox(QStringLiteral("Show hit counts in the cells"), this);
    layout->addWidget(hit_numbers_);
    auto* buttons = new QHBoxLayout;
    other_log_ = new QPushButton(QStringLiteral("Other log..."), this);
    target_afr_ = new QPushButton(QStringLiteral("Target AFR..."), this);
    apply_all_ = new QPushButton(QStringLiteral("Apply all"), this);
    apply_selection_ = new QPushButton(QStringLiteral("Apply selection"), this);
    discard_ = new QPushButton(QStringLiteral("Discard"), this);
    for (QPushButton* b : {other_log_, target_afr_, apply_all_, apply_selection_, discard_}) {
        b->setFocusPolicy(Qt::NoFocus);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);

    connect(map_, &QComboBox::currentIndexChanged, this, [this] { settings_changed(); });
    connect(hit_numbers_, &QCheckBox::toggled, this, [this](bool on) {
        if (!filling_)
            window_.run_guarded([this, on] { window_.app().show_learn_hit_numbers(on); });
    });
    connect(other_log_, &QPushButton::clicked, this,
            [this] { window_.run_guarded([this] { window_.app().learn_from_other_log(); }); });
    connect(target_afr_, &QPushButton::clicked, this, [this] { open_target_afr(); });
    connect(apply_all_, &QPushButton::clicked, this,
            [this] { window_.run_guarded([this] { window_.app().apply_learning(false); }); });
    connect(apply_selection_, &QPushButton::clicked, this,
            [this] { window_.run_guarded([this] { window_.app().apply_learning(true); }); });
    connect(discard_, &QPushButton::clicked, this,
            [this] { window_.run_guarded([this] { window_.app().discard_learning(); }); });
}

void LearnReviewWidget::open_target_afr() {
    if (target_afr_window_ == nullptr) target_afr_window_ = new TargetAfrWidget(window_);
    target_afr_window_->open_table();
}

void LearnReviewWidget::build_filters(QGridLayout* grid) {
    int row = 0;
    for (const FilterRow& f : kFilterRows) {
        QCheckBox* on = nullptr;
        if (f.on != nullptr) {
            on = new QCheckBox(QString::fromUtf8(f.label), this);
            grid->addWidget(on, row, 0);
            connect(on, &QCheckBox::toggled, this, [this] { settings_changed(); });
        } else {
            grid->addWidget(new QLabel(QString::fromUtf8(f.label), this), row, 0);
        }
        QAbstractSpinBox* value = nullptr;
        if (f.whole != nullptr) {
            auto* spin = new QSpinBox(this);
            spin->setRange(static_cast<int>(f.lo), static_cast<int>(f.hi));
            spin->setSingleStep(static_cast<int>(f.step));
            connect(spin, &QSpinBox::valueChanged, this, [this] { settings_changed(); });
            value = spin;
        } else {
            auto* spin = new QDoubleSpinBox(this);
            spin->setRange(f.lo, f.hi);
            spin->setSingleStep(f.step);
            spin->setDecimals(1);
            connect(spin, &QDoubleSpinBox::valueChanged, this, [this] { settings_changed(); });
            value = spin;
        }
        // A value typed in waits for Enter or the focus leaving, so each
        // keystroke does not learn the whole log again.
        value->setKeyboardTracking(false);
        grid->addWidget(value, row, 1);
        filter_on_.push_back(on);
        filter_value_.push_back(value);
        ++row;
    }
}

void LearnReviewWidget::settings_changed() {
    if (filling_) return;
    LearnFilters f;
    for (std::size_t i = 0; i < kFilterRows.size(); ++i) {
        const FilterRow& row = kFilterRows[i];
        if (row.on != nullptr) f.*row.on = filter_on_[i]->isChecked();
        if (row.whole != nullptr) {
            f.*row.whole = static_cast<QSpinBox*>(filter_value_[i])->value();
        } else {
            f.*row.fraction =
                static_cast<float>(static_cast<QDoubleSpinBox*>(filter_value_[i])->value());
        }
    }
    const LearnMap map = map_->currentIndex() == 0 ? LearnMap::maf : LearnMap::fuel;
    window_.run_guarded([this, map, f] { window_.app().change_learning(map, f); });
}

void LearnReviewWidget::fill() {
    const LearnReview& review = window_.app().state().learn;
    filling_ = true;
    map_->setCurrentIndex(review.map == LearnMap::maf ? 0 : 1);
    for (std::size_t i = 0; i < kFilterRows.size(); ++i) {
        const FilterRow& row = kFilterRows[i];
        if (row.on != nullptr) filter_on_[i]->setChecked(review.filters.*row.on);
        if (row.whole != nullptr) {
            static_cast<QSpinBox*>(filter_value_[i])->setValue(review.filters.*row.whole);
        } else {
            static_cast<QDoubleSpinBox*>(filter_value_[i])
                ->setValue(static_cast<double>(review.filters.*row.fraction));
        }
    }
    hit_numbers_->setChecked(review.hit_numbers);
    summary_->setText(QString::fromStdString(learn_summary(review)));
    setWindowTitle(
        QStringLiteral("Learn from log - %1").arg(QString::fromStdString(review.log_name)));
    const bool pending = review.result.ok && pending_cells(review.result.proposal) > 0;
    apply_all_->setEnabled(pending);
    apply_selection_->setEnabled(pending);
    filling_ = false;
}

void LearnReviewWidget::sync() {
    const LearnReview& review = window_.app().state().learn;
    follower_.follow(*this, window_, review, [this] { fill(); });
}

}  // namespace veloquin::gui
