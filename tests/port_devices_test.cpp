// Which device each port opens: the variable, then USB serial adapters in the system's order, then
// the system's default; and the advice when that default fails to open.
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

    const SystemAdapters found{PortSystem::Linux, adaptersInFolder(byId)};
    const PortDevice com1 = deviceForPort(1, found);
    EXPECT_EQ(com1.path.toStdString(), expected(c.com1));
    EXPECT_EQ(com1.noAdapterFound, c.com1NoAdapter);
    EXPECT_EQ(deviceForPort(2, found).path.toStdString(), expected(c.com2));
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

// The system's list of ports as Windows and macOS give it: COM1 and COM2 are the first two USB
// adapters, else the system's own names.
struct ListCase {
    const char* name;
    std::vector<SerialPortRecord> ports;
    const char* com1;
    bool noAdapter;  // COM1 is the system's default, and says so
    const char* com2;
};

class ListChoice : public ::testing::TestWithParam<ListCase> {};

void expectChoice(PortSystem system, const ListCase& c) {
    const SystemAdapters found{system, usbAdapters(QList(c.ports.begin(), c.ports.end()), system)};
    const PortDevice com1 = choosePortDevice(1, QString(), found);
    const PortDevice com2 = choosePortDevice(2, QString(), found);
    EXPECT_EQ(com1.path.toStdString(), c.com1);
    EXPECT_EQ(com1.noAdapterFound, c.noAdapter);
    EXPECT_EQ(com2.path.toStdString(), c.com2);
}

class WindowsList : public ListChoice {};
class MacList : public ListChoice {};

TEST_P(WindowsList, TakesUsbAdaptersInPortNumberOrder) {
    expectChoice(PortSystem::Windows, GetParam());
}

TEST_P(MacList, TakesCallOutAdaptersInNameOrder) {
    expectChoice(PortSystem::MacOs, GetParam());
}

SerialPortRecord windowsPort(int number, const char* description, const char* serialNumber = "") {
    const QString name = QStringLiteral("COM%1").arg(number);
    return {name, QStringLiteral("\\\\.\\") + name, QString::fromUtf8(description),
            QString::fromUtf8(serialNumber)};
}

const SerialPortRecord builtIn = windowsPort(1, "Communications Port");
const SerialPortRecord managementPort =
    windowsPort(3, "Intel(R) Active Management Technology - SOL");
const SerialPortRecord pciCard = windowsPort(5, "PCI Express Serial Port");
const SerialPortRecord usbOn4 = windowsPort(4, "USB Serial Port", "A10K1234");
const SerialPortRecord usbOn9 = windowsPort(9, "USB-SERIAL CH340");
const SerialPortRecord usbOn10 = windowsPort(10, "USB Serial Device");
const SerialPortRecord ownDriverOn7 = windowsPort(7, "Example Board", "7E21C0");
const SerialPortRecord bluetoothOn6 =
    windowsPort(6, "Standard Serial over Bluetooth link", "5CF3707B3BE1");

INSTANTIATE_TEST_SUITE_P(
    Table, WindowsList,
    ::testing::Values(
        ListCase{"NoPorts", {}, "COM1", true, "COM2"},
        ListCase{"BuiltInPortIsNoAdapter", {builtIn}, "COM1", true, "COM2"},
        ListCase{"AdapterOnCom4", {builtIn, usbOn4}, "COM4", false, "COM2"},
        ListCase{"PciPortsAreNoAdapters",
                 {builtIn, managementPort, pciCard, usbOn9},
                 "COM9",
                 false,
                 "COM2"},
        ListCase{"PortNumberOrder", {usbOn10, builtIn, usbOn9}, "COM9", false, "COM10"},
        ListCase{"SerialNumberMakesUsb", {builtIn, ownDriverOn7}, "COM7", false, "COM2"},
        ListCase{"BluetoothIsNoAdapter", {bluetoothOn6, usbOn10}, "COM10", false, "COM2"}),
    [](const auto& info) { return std::string(info.param.name); });

SerialPortRecord macPort(const char* name) {
    return {QString::fromUtf8(name), QStringLiteral("/dev/") + QString::fromUtf8(name), {}, {}};
}

INSTANTIATE_TEST_SUITE_P(
    Table, MacList,
    ::testing::Values(ListCase{"NoAdapter",
                               {macPort("cu.Bluetooth-Incoming-Port"), macPort("cu.debug-console")},
                               "/dev/ttyS0",
                               true,
                               "/dev/ttyS1"},
                      ListCase{"CallOutNotDialIn",
                               {macPort("tty.usbserial-1410"), macPort("cu.usbserial-1410")},
                               "/dev/cu.usbserial-1410",
                               false,
                               "/dev/ttyS1"},
                      ListCase{"NameOrder",
                               {macPort("cu.usbserial-1410"), macPort("tty.usbmodem14201"),
                                macPort("cu.usbmodem14201"), macPort("tty.usbserial-1410")},
                               "/dev/cu.usbmodem14201",
                               false,
                               "/dev/cu.usbserial-1410"}),
    [](const auto& info) { return std::string(info.param.name); });

struct AdviceCase {
    const char* name;
    PortSystem system;
    const char* device;
    const char* advice;
};

class OpenFailureMessage : public ::testing::TestWithParam<AdviceCase> {};

TEST_P(OpenFailureMessage, AdvisesOnAMissingAdapterOnlyWhenNoneWasFound) {
    const AdviceCase& c = GetParam();
    EXPECT_EQ(describeLinkError({LinkError::Kind::NotFound, 1, c.device, "gone", true}, c.system)
                  .toStdString(),
              std::string("COM1 (") + c.device +
                  ") cannot be opened: the device does not exist (gone). No USB serial adapter was "
                  "found: plug in the board's adapter and choose the port again from the Com Port "
                  "menu, or " +
                  c.advice);
    EXPECT_EQ(
        describeLinkError({LinkError::Kind::NotFound, 1, c.device, "gone"}, c.system).toStdString(),
        std::string("COM1 (") + c.device + ") cannot be opened: the device does not exist (gone).");
}

INSTANTIATE_TEST_SUITE_P(
    Table, OpenFailureMessage,
    ::testing::Values(
        AdviceCase{"Linux", PortSystem::Linux, "/dev/ttyS0",
                   "name the board's device in the environment variable TOLVANE_COM1, e.g. "
                   "TOLVANE_COM1=/dev/ttyUSB0."},
        AdviceCase{"MacOs", PortSystem::MacOs, "/dev/ttyS0",
                   "name the board's device in the environment variable TOLVANE_COM1, e.g. "
                   "TOLVANE_COM1=/dev/cu.usbserial-1410."},
        AdviceCase{"Windows", PortSystem::Windows, "COM1",
                   "name the board's port in the environment variable TOLVANE_COM1: in Windows' "
                   "settings under \"Edit environment variables for your account\", or with set "
                   "TOLVANE_COM1=COM5 in a command prompt that then starts the panel."}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane
