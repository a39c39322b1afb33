#pragma once
// The widgets of the four parameter pages, built from the core's table of
// controls. They mirror the PageControls value: a fill shows it, and every
// edit by the tuner is written into it at once, where the next read-back
// finds it.

#include <QObject>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/page_controls.h"
#include "base/paint_model.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QWidget;

namespace veloquin::gui {

class ParameterPages : public QObject {
    Q_OBJECT
  public:
    ParameterPages(PageControls& controls, const std::map<Page, QGroupBox*>& pages);

    // Called with the control's index while the tuner types into a field,
    // and when the field is finished (Enter, Tab, the focus leaving it).
    void set_edit_hooks(std::function<void(int)> editing, std::function<void(int)> finished);

    // Shows the values the controls hold now; a value outside its range is
    // framed, and every field names its range in its tooltip.
    void show_values();
    // Frames the controls with a nonempty entry (one per control of the
    // table) and gives them the entry as tooltip; an empty list clears all.
    void mark_differences(const std::vector<std::string>& tooltips);
    // Whether control `index` is framed now (tests).
    bool marked(int index) const;
    // Whether the widget is one of the page controls (focus decides the keys).
    bool owns(const QWidget* widget) const;
    // The widget of control `index` of the table (tests type into it).
    QWidget* widget(int index) const { return widgets_[static_cast<std::size_t>(index)]; }

    // Whether control `index` is framed as outside its range (tests).
    bool out_of_range_marked(int index) const;

  private:
    QWidget* frame_for(std::vector<QWidget*>& frames, std::size_t i, Rgb color);
    void show_tooltip(std::size_t i);

    PageControls& controls_;
    std::vector<QWidget*> widgets_;
    std::vector<QWidget*> marks_;        // made when a control is first marked
    std::vector<QWidget*> range_marks_;  // the same for values outside their range
    std::vector<std::string> differences_;
    std::function<void(int)> editing_;
    std::function<void(int)> finished_;
};

}  // namespace veloquin::gui
