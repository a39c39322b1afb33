#pragma once
// A widget that draws a PaintModel: the editors, the log viewer and the
// dashboard compute the model in the core and this only walks it.

#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QWidget>

#include "app/paint_model.h"

namespace veloquin::gui {

// The shared fonts: "Arial" resolves to a metric-compatible face through
// fontconfig (Liberation Sans) where Arial itself is not installed.
QFont shared_font(FontId id);

// Draws models onto a painter, keeping the laid-out texts between frames: the
// same few hundred cell texts come back 50 times a second.
class ModelPainter {
  public:
    void paint(QPainter& painter, const PaintModel& model);

  private:
    const QStaticText& text(const std::string& s, FontId font);
    const QFont& font(FontId id);
    QHash<QString, QStaticText> cache_[4];
    QFont fonts_[4];
    bool fonts_ready_ = false;
};

class PaintWidget : public QWidget {
    Q_OBJECT
  public:
    explicit PaintWidget(QWidget* parent);

  protected:
    // The model of the current state at the widget's size.
    virtual PaintModel model() = 0;
    void paintEvent(QPaintEvent* event) override;

  private:
    ModelPainter painter_;
};

}  // namespace veloquin::gui
