#include "gui/editor_widget.h"

#include <QMenu>
#include <QMouseEvent>

#include "editors/trace_automap.h"
#include "gui/main_window.h"

namespace veloquin::gui {

EditorWidget::EditorWidget(EditorKind kind, MainWindow& window, QWidget* parent)
    : PaintWidget(parent), kind_(kind), window_(window) {
    const EditorInfo& info = editor_info(kind);
    setObjectName(
        QString::fromUtf8(info.window_class.data(), static_cast<int>(info.window_class.size())));
    setGeometry(info.x, info.y, info.width, info.height);
    setCursor(Qt::ArrowCursor);
    const Page page = info.page;
    if (kind == EditorKind::map_to_maf) {
        automap_ = button(QString::fromUtf8(kAutomapButtonInitialText.data(),
                                            static_cast<int>(kAutomapButtonInitialText.size())),
                          {60, 640, 160, 22});
        connect(automap_, &QPushButton::clicked, this, [this] {
            window_.run_guarded([this] {
                set_automapping(window_.app().state().editor, window_);
                update_buttons();
                window_.repaint_page();
            });
        });
    }
    if (kind == EditorKind::map_to_maf || kind == EditorKind::fuel_correction) {
        trace_ = button(QStringLiteral("Trace"), kind == EditorKind::map_to_maf
                                                     ? QRect(240, 640, 100, 22)
                                                     : QRect(60, 640, 100, 22));
        connect(trace_, &QPushButton::clicked, this, [this, page] {
            window_.run_guarded([this, page] {
                set_trace(window_.app().state().editor, window_, page);
                update_buttons();
                window_.repaint_page();
            });
        });
    }
}

QPushButton* EditorWidget::button(const QString& text, QRect where) {
    auto* b = new QPushButton(text, this);
    b->setGeometry(where);
    b->setFont(shared_font(FontId::small));
    b->setCheckable(true);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

void EditorWidget::update_buttons() {
    const AutomapButtons b = automap_buttons(window_.app().state().editor);
    if (automap_ != nullptr) {
        automap_->setChecked(b.automap_pressed);
        const QString text =
            QString::fromUtf8(b.automap_text.data(), static_cast<int>(b.automap_text.size()));
        if (automap_->text() != text) automap_->setText(text);
    }
    if (trace_ != nullptr && kind_ == EditorKind::map_to_maf) {
        trace_->setChecked(b.map_trace_pressed);
        trace_->setEnabled(b.map_trace_enabled);
    }
    if (trace_ != nullptr && kind_ == EditorKind::fuel_correction) {
        trace_->setChecked(b.fuel_trace_pressed);
    }
}

void EditorWidget::build_model(PaintModel& model) {
    ProgramState& s = window_.app().state();
    const Calibration* compared = s.comparison.active ? &s.comparison.other : nullptr;
    LearnView learn = learn_view(s.learn, s.cal, s.log, kind_);
    add_histogram_view(learn, s.histogram, kind_);
    paint_editor(kind_, {width(), height(), s.cal, s.editor, s.link.live, compared, &learn}, model);
}

MouseEvent editor_mouse_event(const QWidget& w, const QMouseEvent& e, bool cell_editor_open) {
    MouseEvent m;
    m.width = w.width();
    m.height = w.height();
    m.x = static_cast<int>(e.position().x());
    m.y = static_cast<int>(e.position().y());
    m.shift = (e.modifiers() & Qt::ShiftModifier) != 0;
    m.left_held = (e.buttons() & Qt::LeftButton) != 0;
    m.cell_editor_open = cell_editor_open;
    return m;
}

MouseEvent EditorWidget::mouse_event(const QMouseEvent& e) const {
    return editor_mouse_event(*this, e, window_.app().state().cell_editor_open);
}

void EditorWidget::act(const MouseResult& r, const QPoint& global) {
    Application& app = window_.app();
    if (r.cancel_cell_editor) app.cancel_cell_editor();
    if (r.focus_main_window) window_.focus_main_window();
    if (r.open_cell_editor) app.open_cell_editor(editor_info(kind_).page);
    if (r.show_popup_menu) {
        QMenu menu(this);
        for (const MenuEntry& e : map_popup_menu()) {
            if (e.command_id == 0) {
                menu.addSeparator();
                continue;
            }
            const int id = e.command_id;
            connect(
                menu.addAction(QString::fromUtf8(e.text.data(), static_cast<int>(e.text.size()))),
                &QAction::triggered, this,
                [this, id] { window_.run_guarded([this, id] { window_.app().command(id); }); });
        }
        menu.exec(global);
    }
    if (r.repaint) window_.repaint_page();
}

void EditorWidget::mousePressEvent(QMouseEvent* event) {
    const MouseEvent m = mouse_event(*event);
    const QPoint global = event->globalPosition().toPoint();
    window_.run_guarded([&] {
        EditorState& s = window_.app().state().editor;
        if (event->button() == Qt::LeftButton) act(editor_left_down(kind_, s, m), global);
        if (event->button() == Qt::RightButton) act(editor_right_down(kind_), global);
    });
}

void EditorWidget::mouseMoveEvent(QMouseEvent* event) {
    const MouseEvent m = mouse_event(*event);
    window_.run_guarded(
        [&] { act(editor_mouse_move(kind_, window_.app().state().editor, m), {}); });
}

void EditorWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const MouseEvent m = mouse_event(*event);
    window_.run_guarded(
        [&] { act(editor_double_click(kind_, window_.app().state().editor, m), {}); });
}

}  // namespace veloquin::gui
