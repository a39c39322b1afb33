#include "device/port_table.h"

#include <gtest/gtest.h>

#include "device/port_watch.h"
#include "tests/support/temp_dir.h"

namespace veloquin {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::write_file;

struct FakeDevTree : ::testing::Test {
    TempDir dir;
    fs::path dev = dir / "dev";
    fs::path sys = dir / "sys";

    void SetUp() override {
        fs::create_directories(dev / "serial" / "by-id");
        fs::create_directories(sys);
    }
    void node(const std::string& name) { write_file(dev / name, ""); }
    void uart(const std::string& name, const std::string& type) {
        fs::create_directories(sys / name / "device" / "driver");
        write_file(sys / name / "type", type + "\n");
    }
};

TEST_F(FakeDevTree, NamedPortsFirstThenFamiliesInNumericOrder) {
    for (const char* n : {"ttyUSB10", "ttyUSB2", "ttyACM0", "rfcomm1", "ttyS0", "ttyS1", "ttyS2",
                          "tty0", "ttyUSBx", "console"}) {
        node(n);
    }
    uart("ttyS1", "4");
    uart("ttyS2", "0");  // a driver but no chip behind it
    fs::create_directories(sys / "ttyS0");

    PortTable table;
    EXPECT_TRUE(table.add_explicit("/tmp/sim-pty", dev));
    EXPECT_TRUE(table.add_explicit((dev / "ttyACM0").string(), dev));
    EXPECT_FALSE(table.add_explicit("/tmp/sim-pty", dev));
    table.discover(dev, sys);

    const std::vector<std::string> expected = {"/tmp/sim-pty",
                                               (dev / "ttyACM0").string(),
                                               (dev / "ttyUSB2").string(),
                                               (dev / "ttyUSB10").string(),
                                               (dev / "rfcomm1").string(),
                                               (dev / "ttyS1").string()};
    ASSERT_EQ(table.size(), static_cast<int>(expected.size()));
    for (int port = 1; port <= table.size(); ++port) {
        EXPECT_EQ(table.path(port), expected[static_cast<std::size_t>(port - 1)]) << port;
    }
    EXPECT_EQ(table.path(0), "");
    EXPECT_EQ(table.path(table.size() + 1), "");
    EXPECT_EQ(table.open(table.size() + 1, TimeoutSet::normal).error, "no such device");
}

TEST_F(FakeDevTree, ByIdLinkNamesThePort) {
    node("ttyUSB0");
    node("ttyUSB1");
    fs::create_symlink("../../ttyUSB0",
                       dev / "serial" / "by-id" / "usb-FTDI_FT232R_A1B2-if00-port0");
    PortTable table;
    table.discover(dev, sys);
    EXPECT_EQ(table.display_name(1),
              (dev / "ttyUSB0").string() + " (usb-FTDI_FT232R_A1B2-if00-port0)");
    EXPECT_EQ(table.display_name(2), (dev / "ttyUSB1").string());
    EXPECT_EQ(table.display_name(3), "");
}

TEST_F(FakeDevTree, HoldsAtMostSixteenPorts) {
    for (int i = 0; i < 20; ++i)
        node("ttyUSB" + std::to_string(i));
    PortTable table;
    table.discover(dev, sys);
    EXPECT_EQ(table.size(), PortTable::kMaxPorts);
    EXPECT_EQ(table.path(16), (dev / "ttyUSB15").string());
    EXPECT_FALSE(table.add_explicit("/dev/another", dev));
}

TEST_F(FakeDevTree, RescanKeepsNamedPortsFirstAndFollowsWhatIsPluggedIn) {
    node("ttyUSB0");
    PortTable table;
    EXPECT_TRUE(table.add_explicit("/tmp/sim-pty", dev));
    table.discover(dev, sys);
    // An adapter comes, the first one goes; a link to a listed node is not a second port.
    node("ttyACM2");
    fs::remove(dev / "ttyUSB0");
    fs::create_symlink(dev / "ttyACM2", dev / "ttyUSB7");
    table.rescan();
    const std::vector<SerialPortEntry> entries = table.entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].path, "/tmp/sim-pty");
    EXPECT_EQ(entries[1].path, (dev / "ttyUSB7").string());  // the family looked at first

    PortTable named_only;
    named_only.add_explicit("/tmp/sim-pty", dev);
    named_only.rescan();  // never asked to discover: stays the named ports
    EXPECT_EQ(named_only.size(), 1);
}

TEST_F(FakeDevTree, WatchSeesSerialDevicesAppearAndNothingElse) {
    SerialDeviceWatch watch(dev);
    ASSERT_TRUE(watch.watching());
    EXPECT_FALSE(watch.serial_device_appeared());
    node("loop0");
    node("ttyUSBx");
    EXPECT_FALSE(watch.serial_device_appeared());
    node("ttyUSB3");
    EXPECT_TRUE(watch.serial_device_appeared());
    EXPECT_FALSE(watch.serial_device_appeared());  // reported once
    // udev hands the node to the dialout group a moment after it appeared.
    fs::permissions(dev / "ttyUSB3", fs::perms::group_read, fs::perm_options::add);
    EXPECT_TRUE(watch.serial_device_appeared());
    EXPECT_FALSE(SerialDeviceWatch(dir / "no-such-folder").serial_device_appeared());
}

TEST(PortTable, MissingRootsGiveAnEmptyTable) {
    PortTable table;
    table.discover("/nonexistent-veloquin-dev", "/nonexistent-veloquin-sys");
    EXPECT_EQ(table.size(), 0);
}

}  // namespace
}  // namespace veloquin
