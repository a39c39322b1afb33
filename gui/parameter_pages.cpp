#include "gui/parameter_pages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

#include "base/paint_model.h"

namespace veloquin::gui {
namespace {

QString qstr(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

QRect qrect(const Rect& r) {
    return {r.x, r.y, r.w, r.h};
}

}  // namespace

ParameterPages::ParameterPages(PageControls& controls, const std::map<Page, QGroupBox*>& pages)
    : controls_(controls) {
    for (const GroupSpec& g : control_groups()) {
        const auto page = pages.find(g.page);
        if (page == pages.end()) continue;
        auto* box = new QGroupBox(qstr(g.caption), page->second);
        box->setGeometry(qrect(g.rect));
    }
    const auto table = control_table();
    widgets_.resize(table.size(), nullptr);
    for (std::size_t i = 0; i < table.size(); ++i) {
        const ControlInfo& c = table[i];
        const auto page = pages.find(c.page);
        if (page == pages.end()) continue;
        QWidget* parent = page->second;
        ControlValue& value = controls_.values[i];
        if (!c.label.empty() && c.kind != ControlKind::check) {
            auto* label = new QLabel(qstr(c.label), parent);
            label->setGeometry(qrect(c.label_rect));
        }
        switch (c.kind) {
            case ControlKind::check: {
                auto* box = new QCheckBox(qstr(c.label), parent);
                connect(box, &QCheckBox::clicked, this, [&value](bool on) { value.checked = on; });
                widgets_[i] = box;
                break;
            }
            case ControlKind::edit: {
                auto* edit = new QLineEdit(parent);
                // The original fields took up to 127 characters of text.
                edit->setMaxLength(127);
                const int index = static_cast<int>(i);
                connect(edit, &QLineEdit::textEdited, this,
                        [this, &value, index](const QString& t) {
                            value.text = t.toStdString();
                            if (editing_) editing_(index);
                        });
                connect(edit, &QLineEdit::editingFinished, this, [this, index] {
                    if (finished_) finished_(index);
                });
                widgets_[i] = edit;
                break;
            }
            case ControlKind::list: {
                auto* list = new QComboBox(parent);
                for (const std::string_view e : c.entries)
                    list->addItem(qstr(e));
                connect(list, &QComboBox::activated, this,
                        [&value](int index) { value.index = index; });
                widgets_[i] = list;
                break;
            }
        }
        widgets_[i]->setGeometry(qrect(c.rect));
        widgets_[i]->setObjectName(qstr(c.key));
    }
    show_values();
}

void ParameterPages::set_edit_hooks(std::function<void(int)> editing,
                                    std::function<void(int)> finished) {
    editing_ = std::move(editing);
    finished_ = std::move(finished);
}

void ParameterPages::show_values() {
    const auto table = control_table();
    range_marks_.resize(widgets_.size(), nullptr);
    for (std::size_t i = 0; i < table.size(); ++i) {
        QWidget* w = widgets_[i];
        if (w == nullptr) continue;
        const ControlValue& v = controls_.values[i];
        if (v.out_of_range) {
            frame_for(range_marks_, i, colors::out_of_range)->show();
        } else if (range_marks_[i] != nullptr) {
            range_marks_[i]->hide();
        }
        show_tooltip(i);
        const QSignalBlocker quiet(w);
        switch (table[i].kind) {
            case ControlKind::check:
                static_cast<QCheckBox*>(w)->setChecked(v.checked);
                break;
            case ControlKind::edit: {
                auto* edit = static_cast<QLineEdit*>(w);
                const QString text = QString::fromStdString(v.text);
                if (edit->text() != text) edit->setText(text);
                break;
            }
            case ControlKind::list:
                static_cast<QComboBox*>(w)->setCurrentIndex(v.index);
                break;
        }
    }
}

void ParameterPages::mark_differences(const std::vector<std::string>& tooltips) {
    marks_.resize(widgets_.size(), nullptr);
    differences_.assign(widgets_.size(), std::string());
    for (std::size_t i = 0; i < widgets_.size(); ++i) {
        if (widgets_[i] == nullptr) continue;
        const bool differs = i < tooltips.size() && !tooltips[i].empty();
        if (differs) differences_[i] = tooltips[i];
        show_tooltip(i);
        if (differs) {
            frame_for(marks_, i, colors::difference)->show();
        } else if (marks_[i] != nullptr) {
            marks_[i]->hide();
        }
    }
}

QWidget* ParameterPages::frame_for(std::vector<QWidget*>& frames, std::size_t i, Rgb c) {
    if (frames[i] != nullptr) return frames[i];
    QWidget* w = widgets_[i];
    // A border only, under the control: a check box shows its ground
    // through, so a filled mark would colour its whole row. The range frame
    // sits one pixel further out, so both show when both apply.
    const int out = &frames == &range_marks_ ? 4 : 2;
    auto* frame = new QFrame(w->parentWidget());
    frame->setStyleSheet(QStringLiteral("QFrame { border: 2px solid rgb(%1, %2, %3); "
                                        "background: transparent; }")
                             .arg(c.r)
                             .arg(c.g)
                             .arg(c.b));
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);
    frame->setGeometry(w->geometry().adjusted(-out, -out, out, out));
    frame->stackUnder(w);
    frames[i] = frame;
    return frame;
}

void ParameterPages::show_tooltip(std::size_t i) {
    const std::string& range = controls_.values[i].range_text;
    const std::string difference = i < differences_.size() ? differences_[i] : std::string();
    std::string tip = difference;
    if (!range.empty()) tip += (tip.empty() ? "" : "\n") + range;
    const QString text = QString::fromStdString(tip);
    if (widgets_[i]->toolTip() != text) widgets_[i]->setToolTip(text);
}

bool ParameterPages::out_of_range_marked(int index) const {
    const auto i = static_cast<std::size_t>(index);
    return i < range_marks_.size() && range_marks_[i] != nullptr && !range_marks_[i]->isHidden();
}

bool ParameterPages::marked(int index) const {
    const auto i = static_cast<std::size_t>(index);
    return i < marks_.size() && marks_[i] != nullptr && !marks_[i]->isHidden();
}

bool ParameterPages::owns(const QWidget* widget) const {
    for (const QWidget* w : widgets_) {
        if (w != nullptr && (w == widget || w->isAncestorOf(widget))) return true;
    }
    return false;
}

}  // namespace veloquin::gui
