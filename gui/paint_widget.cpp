#include "gui/paint_widget.h"

#include <QPainter>
#include <QPolygon>

namespace veloquin::gui {
namespace {

QColor qcolor(Rgb c) {
    return {c.r, c.g, c.b};
}

QPen qpen(Pen p) {
    QPen pen(qcolor(p.color));
    pen.setWidth(p.width);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

}  // namespace

QFont shared_font(FontId id) {
    // The original fonts were asked for by cell height and average character
    // width; these pixel sizes and stretches give the same cells in Arial's metrics.
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    switch (id) {
        case FontId::vertical:
        case FontId::horizontal:
            f.setPixelSize(14);
            f.setStretch(160);
            break;
        case FontId::small:
            f.setPixelSize(13);
            break;
        case FontId::small_bold:
            f.setPixelSize(13);
            f.setWeight(QFont::DemiBold);
            break;
    }
    return f;
}

const QFont& ModelPainter::font(FontId id) {
    if (!fonts_ready_) {
        for (FontId f : {FontId::vertical, FontId::horizontal, FontId::small, FontId::small_bold}) {
            fonts_[static_cast<int>(f)] = shared_font(f);
        }
        fonts_ready_ = true;
    }
    return fonts_[static_cast<int>(id)];
}

const QStaticText& ModelPainter::text(const std::string& s, FontId font) {
    auto& cache = cache_[static_cast<int>(font)];
    const QString key = QString::fromStdString(s);
    auto it = cache.find(key);
    if (it == cache.end()) {
        // Texts repeat across frames; a cache that grew past any real screen's
        // worth of them is dropped rather than kept growing.
        if (cache.size() > 4096) cache.clear();
        QStaticText st(key);
        st.setTextFormat(Qt::PlainText);
        st.setPerformanceHint(QStaticText::AggressiveCaching);
        st.prepare(QTransform(), this->font(font));
        it = cache.insert(key, st);
    }
    return *it;
}

QRect ModelPainter::bounds(const PaintOp& op) {
    // Pens up to three pixels wide and antialiased glyph edges reach this far
    // past the geometry.
    constexpr int kMargin = 3;
    QRect r;
    if (const auto* line = std::get_if<LineOp>(&op)) {
        r = QRect(QPoint(line->from.x, line->from.y), QPoint(line->to.x, line->to.y)).normalized();
    } else if (const auto* poly = std::get_if<PolylineOp>(&op)) {
        for (const Point& pt : poly->points)
            r |= QRect(pt.x, pt.y, 1, 1);
    } else if (const auto* fill = std::get_if<FillOp>(&op)) {
        return QRect(fill->x, fill->y, fill->w, fill->h);
    } else if (const auto* t = std::get_if<TextOp>(&op)) {
        const QSizeF size = text(t->text, t->font).size();
        const int w = static_cast<int>(size.width()) + 1;
        const int h = static_cast<int>(size.height()) + 1;
        int dx = 0;
        if (t->align == Align::center) dx = -w / 2 - 1;
        if (t->align == Align::right) dx = -w;
        // The vertical font turns the text a quarter left about its anchor.
        r = t->font == FontId::vertical ? QRect(t->at.x, t->at.y - dx - w, h, w)
                                        : QRect(t->at.x + dx, t->at.y, w, h);
    } else if (const auto* inv = std::get_if<InvertOp>(&op)) {
        return QRect(inv->x, inv->y, inv->w, inv->h);
    }
    return r.adjusted(-kMargin, -kMargin, kMargin, kMargin);
}

void ModelPainter::paint(QPainter& p, const PaintModel& model) {
    p.fillRect(0, 0, model.width, model.height, qcolor(model.background));
    for (const PaintOp& op : model.ops) {
        if (const auto* line = std::get_if<LineOp>(&op)) {
            p.setPen(qpen(line->pen));
            p.drawLine(line->from.x, line->from.y, line->to.x, line->to.y);
        } else if (const auto* poly = std::get_if<PolylineOp>(&op)) {
            p.setPen(qpen(poly->pen));
            QPolygon points(static_cast<int>(poly->points.size()));
            for (std::size_t i = 0; i < poly->points.size(); ++i) {
                points.setPoint(static_cast<int>(i), poly->points[i].x, poly->points[i].y);
            }
            p.drawPolyline(points);
        } else if (const auto* fill = std::get_if<FillOp>(&op)) {
            p.fillRect(fill->x, fill->y, fill->w, fill->h, qcolor(fill->color));
        } else if (const auto* t = std::get_if<TextOp>(&op)) {
            const QStaticText& st = text(t->text, t->font);
            const double w = st.size().width();
            double dx = 0;
            if (t->align == Align::center) dx = -w / 2;
            if (t->align == Align::right) dx = -w;
            p.setFont(font(t->font));
            p.setPen(qcolor(t->color));
            if (t->font == FontId::vertical) {
                // Turned a quarter left: the text reads upwards and its top faces the anchor.
                p.save();
                p.translate(t->at.x, t->at.y);
                p.rotate(-90);
                p.drawStaticText(QPointF(dx, 0), st);
                p.restore();
            } else {
                p.drawStaticText(QPointF(t->at.x + dx, t->at.y), st);
            }
        } else if (const auto* inv = std::get_if<InvertOp>(&op)) {
            p.save();
            p.setCompositionMode(QPainter::CompositionMode_Difference);
            p.fillRect(inv->x, inv->y, inv->w, inv->h, Qt::white);
            p.restore();
        }
    }
}

PaintWidget::PaintWidget(QWidget* parent) : QWidget(parent) {
    // Every frame is painted whole, so Qt need not clear it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

void PaintWidget::build_at_size(PaintModel& model) {
    build_model(model);
    if (model.width == 0) model.width = width();
    if (model.height == 0) model.height = height();
}

bool PaintWidget::refresh() {
    // A hidden widget is brought up to date when it is shown: its first
    // paint builds the model afresh.
    if (!isVisible()) {
        painted_ = false;
        return false;
    }
    build_at_size(next_);
    if (painted_ && next_ == shown_) return false;
    const QRegion changed = painted_ ? changed_region(shown_, next_) : QRegion(rect());
    std::swap(shown_, next_);
    painted_ = true;
    update(changed);
    return true;
}

QRegion PaintWidget::changed_region(const PaintModel& before, const PaintModel& after) {
    if (before.ops.size() != after.ops.size() || before.width != after.width ||
        before.height != after.height || before.background != after.background) {
        return rect();
    }
    // Beyond a few dozen pieces a region costs more than it saves.
    constexpr int kMostRects = 48;
    QRegion region;
    QRect box;
    int pieces = 0;
    for (std::size_t i = 0; i < before.ops.size(); ++i) {
        if (before.ops[i] == after.ops[i]) continue;
        const QRect r = painter_.bounds(before.ops[i]) | painter_.bounds(after.ops[i]);
        box |= r;
        if (++pieces <= kMostRects) region += r;
    }
    return pieces <= kMostRects ? region : QRegion(box);
}

void PaintWidget::paintEvent(QPaintEvent* /*event*/) {
    // The first paint after showing, and a paint at a new size, draw the
    // state as it is now; every other paint draws what the last refresh
    // found, so that what is on screen and `shown_` never part.
    if (!painted_ || shown_.width != width() || shown_.height != height()) {
        build_at_size(shown_);
        painted_ = true;
    }
    ++paint_count_;
    QPainter p(this);
    painter_.paint(p, shown_);
}

}  // namespace veloquin::gui
