#pragma once
// The process-wide instances of the program, created once at start and kept
// to the end: one value that every part of the program's behaviour works on.

#include <filesystem>
#include <string>

#include "app/comparison.h"
#include "app/histogram_review.h"
#include "app/learn_review.h"
#include "app/log_bench_view.h"
#include "app/page_controls.h"
#include "app/startup.h"
#include "base/page.h"
#include "calibration/calibration.h"
#include "datalogs/alarm_rules.h"
#include "datalogs/log_sample.h"
#include "datalogs/log_viewer.h"
#include "device/device_link.h"
#include "editors/editor_state.h"

namespace veloquin {

// The process-wide instances, created once at start and kept to the end.
struct ProgramState {
    explicit ProgramState(Edition e) : edition(e) {}

    Edition edition;
    Calibration cal;
    LogBuffer log;
    LogView log_view;  // the viewer's zoom; its widget keeps the size up to date
    DeviceLink link;
    EditorState editor;
    PageControls controls;
    FileLocations files;     // where the program keeps its files, as found at start
    WorkingFolders folders;  // the file dialogs' folders, following the last choice
    std::filesystem::path working_directory;  // where default.cfg and workmap.cfg live
    std::string calibration_path;             // the file "Save" writes to; empty: none yet
    std::string calibration_name;
    // Another program works in the working folder: nothing is written there.
    bool read_only = false;
    // The lite program read a file with an AFR protect curve its files cannot hold.
    bool afr_protect_read = false;
    Page main_page = Page::parameters;
    // Background erases the map editors and the dashboard may still do.
    int erase_allowance = 0;
    bool cell_editor_open = false;
    // The key that opened the in-place editor, typed into it once it is open.
    std::string pending_key;
    // The parameter field the tuner is typing into (a control index), -1 for
    // none: the one-second read-back leaves it until it is finished.
    int edited_control = -1;
    // A message for the lower status line kept there until the tuner's next
    // action, whatever progress texts pass meanwhile; empty for none.
    std::string notice;
    Comparison comparison;
    LearnReview learn;
    AlarmSettings alarm_settings;
    AlarmWatch alarms;
    // Why the rules file was not read, said once the window is there.
    std::string alarm_settings_message;
    HistogramReview histogram;
    ScatterState scatter;
    LogComparison log_comparison;
};

}  // namespace veloquin
