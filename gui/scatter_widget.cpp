#include "gui/scatter_widget.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "gui/main_window.h"
#include "gui/tool_window_placement.h"

namespace veloquin::gui {
namespace {

QString text_of(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

void add_channels(QComboBox* box, bool with_none) {
    if (with_none) box->addItem(QStringLiteral("(none)"), QString());
    for (const AnalysisChannel& c : analysis_channels())
        box->addItem(text_of(c.name()), text_of(c.name()));
}

}  // namespace

ScatterPlot::ScatterPlot(MainWindow& window, QWidget* parent) : QWidget(parent), window_(window) {
    setMinimumSize(480, 360);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
}

PlotRect ScatterPlot::dragged() const {
    const QRect r = QRect(from_, to_).normalized();
    return {r.x(), r.y(), r.width(), r.height()};
}

void ScatterPlot::paintEvent(QPaintEvent* /*event*/) {
    const ProgramState& s = window_.app().state();
    const PlotRect plot = scatter_plot_rect(width(), height());
    render_scatter(s.scatter.points, plot, viewer_marked_span(s.log), image_);
    PaintModel axes;
    paint_scatter_axes(s.scatter.points, width(), height(),
                       dragging_ ? std::optional<PlotRect>(dragged()) : std::nullopt, axes);
    QPainter p(this);
    painter_.paint(p, axes);
    const QImage pixels(reinterpret_cast<const uchar*>(image_.pixels.data()), image_.width,
                        image_.height, QImage::Format_RGB32);
    p.drawImage(plot.x, plot.y, pixels);
    if (dragging_) {
        const PlotRect d = dragged();
        p.setPen(QColor(kScatterHighlight.r, kScatterHighlight.g, kScatterHighlight.b));
        p.drawRect(d.x, d.y, d.w, d.h);
    }
}

void ScatterPlot::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    from_ = to_ = event->position().toPoint();
    update();
}

void ScatterPlot::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return;
    to_ = event->position().toPoint();
    update();
}

void ScatterPlot::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) return;
    dragging_ = false;
    to_ = event->position().toPoint();
    const PlotRect rect = dragged();
    const PlotRect plot = scatter_plot_rect(width(), height());
    window_.run_guarded([this, plot, rect] { window_.app().select_in_scatter(plot, rect); });
    update();
}

ScatterWidget::ScatterWidget(MainWindow& window) : QWidget(&window, Qt::Tool), window_(window) {
    setObjectName(QStringLiteral("scatter"));
    setWindowTitle(QStringLiteral("Scatter"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    x_ = new QComboBox(this);
    y_ = new QComboBox(this);
    color_ = new QComboBox(this);
    add_channels(x_, false);
    add_channels(y_, false);
    add_channels(color_, true);
    filters_on_ = new QCheckBox(QStringLiteral("The learning's filters"), this);
    conditions_ = new QPlainTextEdit(this);
    conditions_->setPlaceholderText(QStringLiteral("THROTTLE > 80"));
    conditions_->setFixedHeight(44);
    form->addRow(QStringLiteral("X"), x_);
    form->addRow(QStringLiteral("Y"), y_);
    form->addRow(QStringLiteral("Colour"), color_);
    form->addRow(QString(), filters_on_);
    form->addRow(QStringLiteral("Conditions, one a line"), conditions_);
    layout->addLayout(form);
    plot_ = new ScatterPlot(window_, this);
    layout->addWidget(plot_, 1);
    summary_ = new QLabel(this);
    summary_->setWordWrap(true);
    layout->addWidget(summary_);
    for (QComboBox* box : {x_, y_, color_})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { settings_changed(); });
    connect(filters_on_, &QCheckBox::toggled, this, [this] { settings_changed(); });
    connect(conditions_, &QPlainTextEdit::textChanged, this, [this] { settings_changed(); });
}

void ScatterWidget::settings_changed() {
    if (filling_) return;
    ScatterSettings s;
    s.x = x_->currentData().toString().toStdString();
    s.y = y_->currentData().toString().toStdString();
    s.color = color_->currentData().toString().toStdString();
    s.learning_filters = filters_on_->isChecked();
    for (const QString& line : conditions_->toPlainText().split(QLatin1Char('\n')))
        s.conditions.push_back(line.toStdString());
    window_.run_guarded([this, s] { window_.app().change_scatter(s); });
}

void ScatterWidget::fill() {
    const ScatterState& s = window_.app().state().scatter;
    filling_ = true;
    x_->setCurrentIndex(x_->findData(QString::fromStdString(s.settings.x)));
    y_->setCurrentIndex(y_->findData(QString::fromStdString(s.settings.y)));
    color_->setCurrentIndex(color_->findData(QString::fromStdString(s.settings.color)));
    filters_on_->setChecked(s.settings.learning_filters);
    QString text = s.error.empty() ? QStringLiteral("%1 samples plotted; %2 selected.")
                                         .arg(s.points.x.size())
                                         .arg(s.selected.size())
                                   : QString::fromStdString(s.error);
    summary_->setText(text);
    filling_ = false;
}

void ScatterWidget::closeEvent(QCloseEvent* event) {
    event->ignore();
    window_.run_guarded([this] { window_.app().close_scatter(); });
}

void ScatterWidget::sync() {
    window_.app().refresh_scatter();
    const ProgramState& state = window_.app().state();
    const ScatterState& s = state.scatter;
    if (s.started != started_seen_) {
        started_seen_ = s.started;
        revision_seen_ = -1;
        if (s.active) {
            fill();
            if (!isVisible()) adjustSize();
            place_beside(*this, window_);
            show();
            raise();
        }
    }
    if (!s.active) {
        if (isVisible()) hide();
        return;
    }
    const SampleSpan marked = viewer_marked_span(state.log);
    const bool highlight_moved =
        marked.first != highlight_seen_.first || marked.last != highlight_seen_.last;
    highlight_seen_ = marked;
    if (s.revision == revision_seen_ && !highlight_moved) return;
    revision_seen_ = s.revision;
    fill();
    plot_->refresh();
}

}  // namespace veloquin::gui
