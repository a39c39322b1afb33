// The whole program's logic against the simulated device on a pseudo-terminal:
// a tune opened, connected, left alone and looked through leaves the device
// holding exactly the tune.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/application.h"
#include "calfile/calibration_file.h"
#include "calibration/conversions.h"
#include "device/connection.h"
#include "device/serial_posix.h"
#include "device/transfer.h"
#include "devsim/device_store.h"
#include "devsim/simulator.h"
#include "editors/pages.h"
#include "tests/e2e/device_turn.h"
#include "tests/support/fake_platform.h"
#include "tests/support/temp_dir.h"

namespace veloquin::testing {
namespace {

// A tune with the values that used to move on their own: a hi-limit of
// 1.14 bar, an O2FB target of 14.57, an off-throttle threshold below the
// closed end, fuel corrections up to 200, and values outside their fields'
// ranges (a gain of 9, a ticked 5, a filter the list has no entry for).
Calibration tune() {
    Calibration t = devsim::plausible_calibration();
    t.param(hw::MAP_BAR_HI) = 114;
    t.param(hw::O2FB_Target) = 1457;
    t.param(hw::REV2x_OFFTHROTTLE) = 17;
    t.param(hw::REV2x_RPMON) = 4000;
    t.param(hw::REV2x_RPMOFF) = 4000;
    t.param(hw::O2FB_Gain) = 9;
    t.param(hw::O2FB) = 5;
    t.param(hw::MAP_FILTER) = 20;
    t.param(hw::METH_BAR_LO) = 15;
    t.param(hw::METH_BAR_HI) = 114;
    derive_pressure_counts(t);  // as the program that uploaded the tune did
    Map& fuel = t.map(MapId::fuel_correction);
    for (std::size_t i = 0; i < fuel.size(); ++i)
        fuel[i] = low16(-75 + static_cast<int>(i % 276));
    recompute_derived_values(t, Edition::full);
    return t;
}

TEST(TuneOnTheDevice, OpenConnectWaitAndLookThroughEveryPageChangesNothing) {
    TempDir dir;
    const Calibration t = tune();
    ASSERT_TRUE(write_calibration_file(t, dir / "tune.emu", Edition::full));
    // The device already holds the tune, as after the last session.
    devsim::Simulator sim{devsim::SimulatorOptions{}};
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    const devsim::DeviceStore held = devsim::encode_for_device(t);
    sim.set_store(held);

    FakePlatform platform;
    platform.opener = [&](int port, TimeoutSet timeouts) -> SerialOpenResult {
        if (port != 1) return {nullptr, "no such device"};
        return taking_turns(open_posix_serial(sim.slave_path(), timeouts), sim);
    };
    Application app(platform, Edition::full);
    app.start(working_folders(base_folder(dir.path().string())), dir.path());
    app.create_main_window();
    ASSERT_TRUE(app.open_calibration((dir / "tune.emu").string()));
    auto poll = [&] {
        platform.clock_ms += 20;  // the poll's timer
        app.poll_tick();
    };

    for (int i = 0; i < 20 && !app.state().link.connected; ++i)
        poll();
    ASSERT_TRUE(app.state().link.connected);
    app.fill_all_pages();  // what the window does when the download asks for a refill

    // Ten seconds: 500 polls and ten read-backs, while the tuner is half-way
    // through typing "4500" into "2Step Fuel Cut RPM".
    const int rpm = control_index(Page::parameters, "REV2x_RPMON");
    ControlValue& rpm_field = app.state().controls.values[static_cast<std::size_t>(rpm)];
    for (int tick = 1; tick <= 500; ++tick) {
        poll();
        if (tick == 120) {
            rpm_field.text = "4";
            app.field_editing(rpm);
        }
        if (tick == 380) rpm_field.text = "45";
        if (tick % 50 == 0) app.second_tick();
    }
    rpm_field.text = "4000";  // thought better of it
    app.field_finished(rpm);
    for (int round = 0; round < 2; ++round) {
        for (const Page page : page_order(Edition::full)) {
            app.select_page(page);
            for (int tick = 0; tick < 10; ++tick)
                poll();
            app.second_tick();
        }
    }
    // Long enough for any block that changed to go out; the last exchange
    // is answered after every upload before it was taken in.
    for (int tick = 0; tick < 2 * kUploadEveryTicks; ++tick)
        poll();
    ASSERT_TRUE(app.state().link.connected);
    close_port(app.state().link);

    const std::vector<std::uint8_t> codes = sim.log().codes();
    EXPECT_GT(std::count(codes.begin(), codes.end(), cmd::live_data), 700);
    EXPECT_TRUE(sim.log().uploads.empty()) << sim.log().uploads.size() << " blocks uploaded";
    const devsim::DeviceStore now = sim.store();
    Calibration from_file;
    set_start_values(from_file);
    ASSERT_TRUE(read_calibration_file(from_file, dir / "tune.emu", Edition::full));
    derive_pressure_counts(from_file);
    recompute_derived_values(from_file, Edition::full);
    for (const Block b : kBlockOrder) {
        EXPECT_EQ(now.block(b), held.block(b)) << block_name(b);
        EXPECT_EQ(now.block(b), encode_block(from_file, b)) << block_name(b) << " against the file";
    }
    sim.stop();
}

}  // namespace
}  // namespace veloquin::testing
