// Unplugging and plugging in the simulated device the way a USB adapter comes
// and goes: its port is a ttyUSB/ttyACM link in a device folder of the test's
// own, pointing at the device's pseudo-terminal, so the program's own port
// table finds it and its own watcher sees it appear. Time is the program's:
// 20 ms a tick, the waits on the fake clock, and what the line took for real.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>

#include "device/connection.h"
#include "device/port_table.h"
#include "device/port_watch.h"
#include "devsim/simulator.h"
#include "tests/e2e/link_rig.h"
#include "tests/support/temp_dir.h"

namespace veloquin::testing {
namespace {

namespace fs = std::filesystem;

class DeviceFolderRig {
  public:
    DeviceFolderRig() {
        fs::create_directories(dev_);
        fs::create_directories(dir_ / "sys");
        table_.discover(dev_, dir_ / "sys");
        watch_ = std::make_unique<SerialDeviceWatch>(dev_);
        platform.opener = [this](int port, TimeoutSet t) {
            SerialOpenResult opened = table_.open(port, t);
            for (std::size_t i = 0; i < sims_.size(); ++i) {
                if (sims_[i]->serving() && links_[i] == table_.path(port))
                    return taking_turns(std::move(opened), *sims_[i]);
            }
            return opened;
        };
        platform.on_rescan = [this] {
            table_.rescan();
            platform.port_table = table_.entries();
        };
        platform.port_watch = [this] { return watch_->serial_device_appeared(); };
        set_start_values(cal);
    }
    ~DeviceFolderRig() {
        close_port(link);
        for (auto& s : sims_)
            s->stop();
    }
    DeviceFolderRig(const DeviceFolderRig&) = delete;
    DeviceFolderRig& operator=(const DeviceFolderRig&) = delete;

    // A device plugged in as dev/NAME, holding `store` when given.
    devsim::Simulator& plug(const std::string& name, const devsim::DeviceStore* store = nullptr) {
        devsim::SimulatorOptions o;
        o.link = (dev_ / name).string();
        sims_.push_back(std::make_unique<devsim::Simulator>(o));
        links_.push_back(o.link);
        if (store != nullptr) sims_.back()->set_store(*store);
        std::string error;
        if (!sims_.back()->start(&error)) ADD_FAILURE() << error;
        return *sims_.back();
    }

    void tick() {
        const auto start = std::chrono::steady_clock::now();
        poll_tick(link, cal, platform, Edition::full, {});
        const auto spent = std::chrono::steady_clock::now() - start;
        platform.clock_ms +=
            20 + static_cast<std::uint32_t>(
                     std::chrono::duration_cast<std::chrono::milliseconds>(spent).count());
    }
    void run_for(std::uint32_t ms) {
        const std::uint32_t end = platform.clock_ms + ms;
        while (platform.clock_ms < end)
            tick();
    }
    // The program's time until the device was connected; nullopt past `limit_ms`.
    std::optional<std::uint32_t> time_to_connect(std::uint32_t limit_ms) {
        const std::uint32_t start = platform.clock_ms;
        while (!link.connected && platform.clock_ms - start <= limit_ms)
            tick();
        if (!link.connected) return std::nullopt;
        return platform.clock_ms - start;
    }
    // Ticks until a quiet pass has just ended, so the next is a second away.
    void until_a_pass_ended() {
        const int rescans = platform.rescans;
        while (platform.rescans == rescans)
            tick();
    }
    std::string port_path() const { return table_.path(link.port_number); }
    fs::path dev() const { return dev_; }

    FakePlatform platform;
    DeviceLink link;
    Calibration cal;

  private:
    TempDir dir_;
    fs::path dev_ = dir_ / "dev";
    PortTable table_;
    std::unique_ptr<SerialDeviceWatch> watch_;
    std::vector<std::unique_ptr<devsim::Simulator>> sims_;
    std::vector<std::string> links_;  // each device's path in the device folder
};

// Connected to a device on dev/ttyUSB0, then unplugged and edited meanwhile.
struct Unplugged : ::testing::Test {
    DeviceFolderRig rig;
    devsim::Simulator* first = nullptr;
    int edited = 0;

    void SetUp() override {
        first = &rig.plug("ttyUSB0");
        start_search(rig.link, rig.platform);
        ASSERT_TRUE(rig.time_to_connect(2000));
        first->stop();
        rig.tick();
        ASSERT_FALSE(rig.link.connected);
        EXPECT_EQ(rig.platform.last_upper(), "Disconnected");
        EXPECT_EQ(rig.platform.last_lower(), "Device lost - retrying");
        std::int16_t& cell = rig.cal.cell(MapId::boost_duty, 3, 3);
        edited = cell == 77 ? 78 : 77;
        cell = static_cast<std::int16_t>(edited);
        rig.run_for(1500);  // passes a second apart find nothing
        ASSERT_FALSE(rig.link.connected);
    }
    // The edit made while the device was away is on it once the upload ran.
    // The poll runs until then: on a busy machine each tick takes longer, so
    // a fixed span of the program's time may hold too few ticks for it.
    bool edit_reached(const devsim::Simulator& sim) {
        return wait_until([&] {
            rig.tick();
            return sim.store().map_cell(Block::boost_map, 3, 3) == edited;
        });
    }
};

TEST_F(Unplugged, PluggedInAgainReconnectsWithinTwoSecondsAndGetsTheEdit) {
    const std::string pty = first->slave_path();
    first->start();  // a new pseudo-terminal; the link in the device folder follows it
    const auto took = rig.time_to_connect(2000);
    ASSERT_TRUE(took) << "not reconnected within two seconds";
    EXPECT_EQ(rig.platform.last_lower(), "Reconnected");
    EXPECT_EQ(rig.port_path(), (rig.dev() / "ttyUSB0").string());
    RecordProperty("pty_path_changed", first->slave_path() != pty ? "yes" : "no");
    RecordProperty("reconnect_ms", static_cast<int>(*took));
    EXPECT_TRUE(edit_reached(*first));
}

TEST_F(Unplugged, DeviceOnANewPathIsFoundAtOnceAndGetsTheEdit) {
    const devsim::DeviceStore store = first->store();
    rig.until_a_pass_ended();
    // Another node for the same unit, as an adapter gets when its old one is held.
    devsim::Simulator& again = rig.plug("ttyACM0", &store);
    const auto took = rig.time_to_connect(2000);
    ASSERT_TRUE(took);
    // Seen by the watcher, not by the next pass a second later.
    EXPECT_LT(*took, 900U);
    EXPECT_EQ(rig.port_path(), (rig.dev() / "ttyACM0").string());
    EXPECT_TRUE(edit_reached(again));
}

}  // namespace
}  // namespace veloquin::testing
