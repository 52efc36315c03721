// Which device each port opens: the variable, then USB serial adapters in name order, then the
// system's default; and the advice when that default fails to open.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "link/port_devices.h"
#include "panel/link_messages.h"
#include "test_printers.h"

namespace tolvane {
namespace {

using testing::PrintTo;

struct DeviceCase {
    const char* name;
    std::vector<const char*> adapters;  // links made in the folder, in this order
    const char* com1Variable;           // nullptr: unset
    const char* com1;                   // "@x": the folder's entry x
    const char* com2;
    bool com1NoAdapter = false;
};

class DeviceChoice : public ::testing::TestWithParam<DeviceCase> {
  protected:
    void TearDown() override { qunsetenv("TOLVANE_COM1"); }
};

TEST_P(DeviceChoice, FollowsVariableThenAdaptersInNameOrderThenDefault) {
    const DeviceCase& c = GetParam();
    QTemporaryDir dir;
    const QString byId = dir.filePath(QStringLiteral("by-id"));
    ASSERT_TRUE(QDir().mkpath(byId));
    for (const char* adapter : c.adapters) {
        // Each link points at a device file of its own; the port must be named by the link.
        const QString target = dir.filePath(QLatin1String(adapter) + QStringLiteral(".tty"));
        QFile device(target);
        ASSERT_TRUE(device.open(QIODevice::WriteOnly));
        ASSERT_TRUE(QFile::link(target, byId + QLatin1Char('/') + QLatin1String(adapter)));
    }
    qunsetenv("TOLVANE_COM2");
    c.com1Variable ? qputenv("TOLVANE_COM1", c.com1Variable) : qunsetenv("TOLVANE_COM1");
    // Compared as std::string: another file of this binary prints QString as its bytes.
    const auto expected = [&](const char* path) {
        return path[0] == '@' ? byId.toStdString() + '/' + (path + 1) : std::string(path);
    };

    const PortDevice com1 = deviceForPort(1, {byId, {}});
    EXPECT_EQ(com1.path.toStdString(), expected(c.com1));
    EXPECT_EQ(com1.noAdapterFound, c.com1NoAdapter);
    EXPECT_EQ(deviceForPort(2, {byId, {}}).path.toStdString(), expected(c.com2));
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeviceChoice,
    ::testing::Values(
        DeviceCase{"NoAdapter", {}, nullptr, "/dev/ttyS0", "/dev/ttyS1", true},
        DeviceCase{"OneAdapter", {"usb-A-port0"}, nullptr, "@usb-A-port0", "/dev/ttyS1"},
        DeviceCase{"Two", {"usb-B-port0", "usb-A-port0"}, nullptr, "@usb-A-port0", "@usb-B-port0"},
        DeviceCase{"Three", {"usb-C", "usb-A", "usb-B"}, nullptr, "@usb-A", "@usb-B"},
        DeviceCase{"EmptyVariable", {"usb-A"}, "", "@usb-A", "/dev/ttyS1"},
        DeviceCase{"SetVariableWins", {"usb-A", "usb-B"}, "/dev/ttyACM3", "/dev/ttyACM3", "@usb-B"},
        DeviceCase{"VariableNamesDefault", {}, "/dev/ttyS0", "/dev/ttyS0", "/dev/ttyS1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OpenFailureMessage, AdvisesOnAMissingAdapterOnlyWhenNoneWasFound) {
    EXPECT_EQ(
        describeLinkError({LinkError::Kind::NotFound, 1, "/dev/ttyS0", "gone", true}).toStdString(),
        "COM1 (/dev/ttyS0) cannot be opened: the device does not exist (gone). No USB "
        "serial adapter was found: plug in the board's adapter and choose the port again "
        "from the Com Port menu, or name the board's device in the environment variable "
        "TOLVANE_COM1, e.g. TOLVANE_COM1=/dev/ttyUSB0.");
    EXPECT_EQ(
        describeLinkError({LinkError::Kind::NotFound, 1, "/dev/ttyUSB3", "gone"}).toStdString(),
        "COM1 (/dev/ttyUSB3) cannot be opened: the device does not exist (gone).");
}

}  // namespace
}  // namespace tolvane
