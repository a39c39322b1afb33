#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <cstdio>
#include <string>

#include "app/commands.h"
#include "editors/page_rules.h"
#include "editors/pages.h"
#include "gui/differences_widget.h"
#include "gui/editor_widget.h"
#include "gui/key_filter.h"
#include "gui/learn_review_widget.h"
#include "gui/live_panel_widget.h"
#include "gui/log_bench.h"
#include "gui/parameter_pages.h"
#include "gui/viewer_widgets.h"

namespace veloquin::gui {
namespace {

constexpr int kNavX = 10;
constexpr int kNavWidth = 180;
constexpr int kNavHeight = 24;
constexpr int kNavTop = 16;
constexpr int kNavPitch = 26;
constexpr QRect kPageRect{200, 6, 804, 690};
constexpr QRect kConnectRect{10, 682, 180, 20};

int page_height(Page page) {
    if (page == Page::parameters) return 680;
    if (page == Page::maf_emulation || page == Page::fuel_correction) return 691;
    return kPageRect.height();
}

}  // namespace

MainWindow::MainWindow(Edition edition, PortTable& ports) : app_(*this, edition), ports_(ports) {
    setObjectName(QStringLiteral("VELOQUIN"));
    surface_ = new QWidget(this);
    surface_->setObjectName(QStringLiteral("surface"));
    surface_->setFixedSize(kSurfaceWidth, kSurfaceHeight);
    surface_->setAutoFillBackground(true);
    QPalette pal = surface_->palette();
    pal.setColor(QPalette::Window, QColor(176, 176, 176));
    surface_->setPalette(pal);
    // The window itself holds the keyboard focus whenever no field does, as
    // the original's main window did: editing keys reach the editors from there.
    surface_->setFocusPolicy(Qt::StrongFocus);
    setCentralWidget(surface_);
    build_menus();
    build_navigation();
    build_pages();
    key_filter_ = new KeyFilter(*this);
    qApp->installEventFilter(key_filter_);

    poll_timer_.setInterval(20);
    poll_timer_.setTimerType(Qt::PreciseTimer);
    connect(&poll_timer_, &QTimer::timeout, this, [this] {
        // A search for the device holds input until it ends, a short
        // while; once the device has answered, input is refused instead.
        holding_input_ = !app_.state().link.connected;
        run_guarded([this] { app_.poll_tick(); });
        holding_input_ = false;
    });
    if (const QString stats = qEnvironmentVariable("VELOQUIN_FRAME_STATS"); !stats.isEmpty()) {
        frame_stats_timer_.setInterval(1000);
        connect(&frame_stats_timer_, &QTimer::timeout, this, [this, stats] {
            QFile file(stats);
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                file.write(QByteArray::number(frames_painted()) + '\n');
            }
        });
        frame_stats_timer_.start();
    }
    second_timer_.setInterval(1000);
    connect(&second_timer_, &QTimer::timeout, this,
            [this] { run_guarded([this] { app_.second_tick(); }); });
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(key_filter_);
}

void MainWindow::build_menus() {
    for (const Menu& menu : menu_bar()) {
        QMenu* m = menuBar()->addMenu(
            QString::fromUtf8(menu.title.data(), static_cast<int>(menu.title.size())));
        for (const MenuEntry& e : menu.entries) {
            if (e.command_id == 0) {
                m->addSeparator();
                continue;
            }
            // The text after the tab is shown as the key; the keys themselves
            // come through the accelerator tables, never through Qt shortcuts.
            QAction* a =
                m->addAction(QString::fromUtf8(e.text.data(), static_cast<int>(e.text.size())));
            const int id = e.command_id;
            connect(a, &QAction::triggered, this,
                    [this, id] { run_guarded([this, id] { app_.command(id); }); });
            // Undo and Redo name their step, as it stands when the menu opens.
            if (app_.menu_entry_state(id)) {
                const auto refresh = [this, a, id] {
                    const auto state = app_.menu_entry_state(id);
                    a->setText(QString::fromStdString(state->text));
                    a->setEnabled(state->enabled);
                };
                refresh();
                connect(m, &QMenu::aboutToShow, a, refresh);
            }
        }
    }
}

void MainWindow::build_navigation() {
    const Edition e = edition();
    for (const Page page : page_order(e)) {
        const std::string_view title = page_title(page);
        auto* b = new QPushButton(QString::fromUtf8(title.data(), static_cast<int>(title.size())),
                                  surface_);
        b->setGeometry(kNavX, kNavTop + kNavPitch * (*page_number(page, e) - 1), kNavWidth,
                       kNavHeight);
        b->setCheckable(true);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QPushButton::clicked, this, [this, page] {
            // While the device has the line a page is only shown: typed
            // fields wait for the next switch to be committed.
            if (refusing_input() && !closing_) {
                app_.show_page_while_busy(page);
                show_selected_page(page);
                return;
            }
            run_guarded([this, page] { select_page(page); });
        });
        nav_[page] = b;
    }
    live_panel_ = new LivePanelWidget(surface_);
    connect_ = new QPushButton(QStringLiteral("Connect"), surface_);
    connect_->setGeometry(kConnectRect);
    connect_->setFocusPolicy(Qt::NoFocus);
    connect_->setEnabled(false);
    connect(connect_, &QPushButton::clicked, this,
            [this] { run_guarded([this] { app_.connect_pressed(); }); });
}

void MainWindow::build_pages() {
    for (const Page page : page_order(edition())) {
        auto* g = new QGroupBox(surface_);
        g->setGeometry(kPageRect.x(), kPageRect.y(), kPageRect.width(), page_height(page));
        g->hide();
        pages_[page] = g;
    }
    params_ = new ParameterPages(app_.state().controls, pages_);
    // Typed values go in when the field is finished, not at the next second.
    params_->set_edit_hooks([this](int control) { app_.field_editing(control); },
                            [this](int control) { app_.field_finished(control); });
    for (const EditorInfo& info : graph_editors()) {
        const auto page = pages_.find(info.page);
        if (page == pages_.end()) continue;  // the lite program has no AFR protect page
        editors_[info.kind] = new EditorWidget(info.kind, *this, page->second);
    }
    log_viewer_ = new LogViewerWidget(*this, pages_[Page::log_viewer]);
    dashboard_ = new DashboardWidget(*this, pages_[Page::dashboard]);
    differences_ = new DifferencesWidget(*this);
    learn_review_ = new LearnReviewWidget(*this);
    log_bench_ = new LogBench(*this);
}

EditorWidget* MainWindow::editor(EditorKind kind) const {
    const auto it = editors_.find(kind);
    return it == editors_.end() ? nullptr : it->second;
}

void MainWindow::update_editor_buttons() {
    for (auto& [kind, e] : editors_)
        e->update_buttons();
}

void MainWindow::create() {
    if (ports_.discovers()) port_watch_ = std::make_unique<SerialDeviceWatch>(ports_.dev_root());
    app_.create_main_window();
    select_page(Page::parameters);
    poll_timer_.start();
    second_timer_.start();
}

void MainWindow::select_page(Page page) {
    app_.select_page(page);
    show_selected_page(page);
}

void MainWindow::show_selected_page(Page page) {
    for (auto& [p, b] : nav_)
        b->setChecked(p == page);
    for (auto& [p, g] : pages_) {
        g->setEnabled(p == page);
        g->setVisible(p == page);
    }
    focus_main_window();
}

QWidget* MainWindow::page_widget(Page page) const {
    const auto it = pages_.find(page);
    return it == pages_.end() ? nullptr : it->second;
}

QPushButton* MainWindow::nav_button(Page page) const {
    const auto it = nav_.find(page);
    return it == nav_.end() ? nullptr : it->second;
}

bool MainWindow::main_window_focused() const {
    const QWidget* f = QApplication::focusWidget();
    if (f == nullptr || f == surface_) return true;
    if (f == cell_editor_.data()) return false;
    return !params_->owns(f);
}

bool MainWindow::handle_key(const KeyPress& key) {
    if (closing_) return false;
    KeyFocus focus = main_window_focused() ? KeyFocus::main_window : KeyFocus::control;
    if (qobject_cast<QLineEdit*>(QApplication::focusWidget()) != nullptr &&
        focus != KeyFocus::main_window && params_->owns(QApplication::focusWidget())) {
        focus = KeyFocus::text_field;
    }
    const KeyRoute route = app_.key_press(key, focus);
    after_entry();
    return route.action != KeyAction::pass;
}

void MainWindow::run_guarded(const std::function<void()>& work) {
    if (app_.busy() || closing_ || refusing_queued_) return;
    const int downloads = app_.downloads_taken();
    entry_clock_.start();
    last_pump_ms_ = 0;
    work();
    entry_clock_.invalidate();
    // Input held back at the start of the entry was typed on the calibration
    // the download has just replaced: it is refused like the rest, not
    // applied to values the tuner has not seen yet.
    if (app_.downloads_taken() != downloads) {
        refusing_queued_ = true;
        QApplication::processEvents();
        refusing_queued_ = false;
    }
    after_entry();
}

void MainWindow::refuse_input() {
    app_.refuse_input();
}

bool MainWindow::is_nav_button(const QWidget* w) const {
    for (const auto& [page, button] : nav_) {
        if (button == w) return true;
    }
    return false;
}

void MainWindow::quit_now() {
    // Changes the device was not sent yet go first, while waits still wait.
    if (const std::string unsent = app_.send_changes_before_exit(); !unsent.empty()) {
        std::fprintf(stderr, "veloquin: %s\n", unsent.c_str());
    }
    quitting_ = true;
    // Inside a transfer the waits give up and the entry unwinds by itself;
    // a recording between ticks is ended here, its stream stopped.
    if (!app_.busy()) app_.stop_recording(RecordingEnd::closing);
    std::string error;
    if (!app_.write_workmap(&error)) {
        std::fprintf(stderr, "veloquin: workmap.cfg not written: %s\n", error.c_str());
    }
    app_.exit_at_once();
    closing_ = true;
    QCoreApplication::exit(0);
}

long long MainWindow::frames_painted() const {
    long long frames = log_viewer_->paint_count() + dashboard_->paint_count();
    for (const auto& [kind, e] : editors_)
        frames += e->paint_count();
    return frames;
}

void MainWindow::refresh_screen() {
    update_editor_buttons();
    for (auto& [kind, e] : editors_)
        e->refresh();
    log_viewer_->refresh();
    dashboard_->refresh();
}

void MainWindow::after_entry() {
    // Whatever the entry changed reaches the screen here, whether or not the
    // core asked for a repaint: only widgets that are shown and whose
    // picture changed repaint.
    refresh_screen();
    differences_->sync();
    learn_review_->sync();
    update_title();
    log_bench_->sync();
    if (close_pending_ && !app_.busy()) {
        close_pending_ = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void MainWindow::request_close() {
    if (app_.busy()) {
        close_pending_ = true;
        return;
    }
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A recording or an update owns the line until it ends; the window
    // closes right after it.
    if (app_.busy()) {
        // The device work under way gives up its waits; the window closes
        // as soon as it has unwound.
        close_pending_ = true;
        quitting_ = true;
        event->ignore();
        return;
    }
    closing_ = true;
    poll_timer_.stop();
    second_timer_.stop();
    // A recording is ended the proper way: the stream stopped, its log kept.
    app_.stop_recording(RecordingEnd::closing);
    // Every way of closing ends here: the calibration as it is now, uploaded
    // or not, goes to "workmap.cfg"; if it cannot, the tuner hears why and
    // may save elsewhere (a signal quits at once).
    if (!app_.save_at_exit()) {
        // The work is not safe anywhere yet: the program stays.
        closing_ = false;
        poll_timer_.start();
        second_timer_.start();
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace veloquin::gui
