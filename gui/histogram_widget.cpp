#include "gui/histogram_widget.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "gui/main_window.h"
#include "gui/paint_widget.h"
#include "gui/tool_window_placement.h"

namespace veloquin::gui {

class HistogramLegend : public PaintWidget {
  public:
    HistogramLegend(MainWindow& window, QWidget* parent) : PaintWidget(parent), window_(window) {
        setMinimumSize(300, 40);
    }

  protected:
    void build_model(PaintModel& model) override {
        paint_histogram_legend(window_.app().state().histogram, width(), height(), model);
    }

  private:
    MainWindow& window_;
};

namespace {

constexpr const char* kMapNames[] = {"MAF Emulation (MAP-2-MAF)", "Fuel Correction",
                                     "Methanol (METH-CORRECTION)", "Boost duty (BOOST-DUTY)"};
constexpr const char* kStatNames[] = {"Mean", "Count", "Minimum", "Maximum", "Spread"};
constexpr const char* kModeNames[] = {"Set the cells to the values", "Add the values",
                                      "Change by the values in percent"};

QString text_of(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

HistogramWidget::HistogramWidget(MainWindow& window) : QWidget(&window, Qt::Tool), window_(window) {
    setObjectName(QStringLiteral("log_histogram"));
    setWindowTitle(QStringLiteral("Log histogram"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    map_ = new QComboBox(this);
    for (const char* name : kMapNames)
        map_->addItem(QString::fromUtf8(name));
    channel_ = new QComboBox(this);
    for (const AnalysisChannel& c : analysis_channels())
        channel_->addItem(
            text_of(c.name()) + QStringLiteral(" [") + text_of(c.unit()) + QStringLiteral("]"),
            text_of(c.name()));
    stat_ = new QComboBox(this);
    for (const char* name : kStatNames)
        stat_->addItem(QString::fromUtf8(name));
    filters_on_ = new QCheckBox(QStringLiteral("The learning's filters"), this);
    min_samples_ = new QSpinBox(this);
    min_samples_->setRange(1, 100000);
    min_samples_->setKeyboardTracking(false);
    conditions_ = new QPlainTextEdit(this);
    conditions_->setPlaceholderText(QStringLiteral("THROTTLE > 80\nBOOST between 0.2 and 1.0"));
    conditions_->setFixedHeight(60);
    form->addRow(QStringLiteral("Map"), map_);
    form->addRow(QStringLiteral("Channel"), channel_);
    form->addRow(QStringLiteral("Statistic"), stat_);
    form->addRow(QString(), filters_on_);
    form->addRow(QStringLiteral("Minimum samples per cell"), min_samples_);
    form->addRow(QStringLiteral("Conditions, one a line"), conditions_);
    layout->addLayout(form);
    legend_ = new HistogramLegend(window_, this);
    layout->addWidget(legend_);
    summary_ = new QLabel(this);
    summary_->setWordWrap(true);
    layout->addWidget(summary_);
    auto* files = new QHBoxLayout;
    copy_ = new QPushButton(QStringLiteral("Copy"), this);
    save_ = new QPushButton(QStringLiteral("Save..."), this);
    files->addWidget(copy_);
    files->addWidget(save_);
    layout->addLayout(files);
    mode_ = new QComboBox(this);
    for (const char* name : kModeNames)
        mode_->addItem(QString::fromUtf8(name));
    refusal_ = new QLabel(this);
    refusal_->setWordWrap(true);
    review_ = new QPushButton(QStringLiteral("Review"), this);
    review_->setCheckable(true);
    apply_ = new QPushButton(QStringLiteral("Apply to map"), this);
    auto* applying = new QHBoxLayout;
    applying->addWidget(mode_);
    applying->addWidget(review_);
    applying->addWidget(apply_);
    layout->addLayout(applying);
    layout->addWidget(refusal_);
    for (QPushButton* b : {copy_, save_, review_, apply_})
        b->setFocusPolicy(Qt::NoFocus);

    for (QComboBox* box : {map_, channel_, stat_, mode_})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { settings_changed(); });
    connect(filters_on_, &QCheckBox::toggled, this, [this] { settings_changed(); });
    connect(min_samples_, &QSpinBox::valueChanged, this, [this] { settings_changed(); });
    connect(conditions_, &QPlainTextEdit::textChanged, this, [this] { settings_changed(); });
    connect(copy_, &QPushButton::clicked, this, [this] { copy_grid(); });
    connect(save_, &QPushButton::clicked, this,
            [this] { window_.run_guarded([this] { window_.app().save_histogram_as(); }); });
    connect(review_, &QPushButton::clicked, this, [this](bool on) {
        window_.run_guarded([this, on] { window_.app().review_histogram_apply(on); });
    });
    connect(apply_, &QPushButton::clicked, this,
            [this] { window_.run_guarded([this] { window_.app().apply_histogram(); }); });
}

void HistogramWidget::settings_changed() {
    if (filling_) return;
    HistogramSettings s = window_.app().state().histogram.settings;
    s.map = static_cast<MapId>(map_->currentIndex());
    s.channel = channel_->currentData().toString().toStdString();
    s.stat = static_cast<HistogramStat>(stat_->currentIndex());
    s.mode = static_cast<ApplyMode>(mode_->currentIndex());
    // The learning's own filters as the learn review has them, so a filter
    // added there applies here too.
    s.filters =
        filters_on_->isChecked() ? window_.app().state().learn.filters : LearnFilters::none();
    s.filters.min_samples = min_samples_->value();
    s.conditions.clear();
    for (const QString& line : conditions_->toPlainText().split(QLatin1Char('\n')))
        s.conditions.push_back(line.toStdString());
    window_.run_guarded([this, s] { window_.app().change_histogram(s); });
}

void HistogramWidget::fill() {
    const HistogramReview& review = window_.app().state().histogram;
    const HistogramSettings& s = review.settings;
    filling_ = true;
    map_->setCurrentIndex(static_cast<int>(s.map));
    channel_->setCurrentIndex(channel_->findData(QString::fromStdString(s.channel)));
    stat_->setCurrentIndex(static_cast<int>(s.stat));
    mode_->setCurrentIndex(static_cast<int>(s.mode));
    filters_on_->setChecked(s.filters.min_rpm_on || s.filters.trim_on || s.filters.settle_on);
    min_samples_->setValue(s.filters.min_samples);
    summary_->setText(QString::fromStdString(histogram_summary(review)));
    const std::string refusal = histogram_apply_refusal(review);
    refusal_->setText(QString::fromStdString(refusal));
    refusal_->setVisible(!refusal.empty());
    review_->setEnabled(refusal.empty() && review.result.ok);
    review_->setChecked(review.reviewing);
    apply_->setEnabled(review.reviewing);
    copy_->setEnabled(review.result.ok);
    save_->setEnabled(review.result.ok);
    legend_->refresh();
    filling_ = false;
}

void HistogramWidget::copy_grid() {
    const HistogramReview& review = window_.app().state().histogram;
    if (!review.result.ok) return;
    QApplication::clipboard()->setText(
        QString::fromStdString(histogram_grid_text(review.result, '\t', false)));
    window_.app().platform().set_lower_status("Histogram copied");
}

void HistogramWidget::closeEvent(QCloseEvent* event) {
    event->ignore();
    window_.run_guarded([this] { window_.app().close_histogram(); });
}

void HistogramWidget::sync() {
    const HistogramReview& review = window_.app().state().histogram;
    // A log loaded or recorded under the open window: gathered anew and shown.
    const int before = review.revision;
    window_.app().refresh_histogram();
    if (review.revision != before) window_.refresh_screen();
    follower_.follow(*this, window_, review, [this] { fill(); });
}

}  // namespace veloquin::gui
