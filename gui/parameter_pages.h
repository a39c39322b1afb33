#pragma once
// The widgets of the four parameter pages, built from the core's table of
// controls. They mirror the PageControls value: a fill shows it, and every
// edit by the tuner is written into it at once, where the next read-back
// finds it.

#include <QObject>
#include <map>
#include <string>
#include <vector>

#include "app/page_controls.h"

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

    // Shows the values the controls hold now.
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

  private:
    PageControls& controls_;
    std::vector<QWidget*> widgets_;
    std::vector<QWidget*> marks_;  // made when a control is first marked
};

}  // namespace veloquin::gui
