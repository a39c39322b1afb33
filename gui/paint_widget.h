#pragma once
// A widget that draws a PaintModel: the editors, the log viewer and the
// dashboard compute the model in the core and this only walks it.

#include <QFont>
#include <QHash>
#include <QRegion>
#include <QStaticText>
#include <QWidget>

#include "base/paint_model.h"

namespace veloquin::gui {

// The shared fonts: "Arial" resolves to a metric-compatible face through
// fontconfig (Liberation Sans) where Arial itself is not installed.
QFont shared_font(FontId id);

// Draws models onto a painter, keeping the laid-out texts between frames: the
// same few hundred cell texts come back 50 times a second.
class ModelPainter {
  public:
    void paint(QPainter& painter, const PaintModel& model);
    // The pixels an operation may touch, with a margin for pen widths and
    // antialiased text edges.
    QRect bounds(const PaintOp& op);

  private:
    const QStaticText& text(const std::string& s, FontId font);
    const QFont& font(FontId id);
    QHash<QString, QStaticText> cache_[4];
    QFont fonts_[4];
    bool fonts_ready_ = false;
};

// The painted widgets keep the model they last put on screen. `refresh`
// computes the model of the current state and asks for a repaint of what
// differs, so the main window can call it after every change without the
// cost of a frame when nothing visible moved.
class PaintWidget : public QWidget {
    Q_OBJECT
  public:
    explicit PaintWidget(QWidget* parent);

    // True when a repaint was asked for.
    bool refresh();
    // Frames painted so far (benchmarks and tests count them).
    int paint_count() const { return paint_count_; }

  protected:
    // The model of the current state at the widget's size.
    virtual void build_model(PaintModel& model) = 0;
    void paintEvent(QPaintEvent* event) override;

  private:
    // What changed between the two models; the whole widget when their
    // operations do not pair up one to one.
    QRegion changed_region(const PaintModel& before, const PaintModel& after);
    void build_at_size(PaintModel& model);

    ModelPainter painter_;
    PaintModel shown_;  // as last painted
    PaintModel next_;   // scratch of a refresh, kept for its capacity
    bool painted_ = false;
    int paint_count_ = 0;
};

}  // namespace veloquin::gui
