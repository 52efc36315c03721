// Which device each port opens: the variable, then USB serial adapters in the system's order, then
// the system's default; the advice when that default fails to open; and the system's error text
// in a message with one full stop, not two.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "panel/link_messages.h"
#include "ports/port_devices.h"
#include "test_printers.h"

namespace tolvane {
namespace {

using test_support::PrintTo;

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
    PortSystem system;
    std::vector<SerialPortRecord> ports;
    const char* com1;
    bool noAdapter;  // COM1 is the system's default, and says so
    const char* com2;
};

class ListChoice : public ::testing::TestWithParam<ListCase> {};

TEST_P(ListChoice, TakesUsbAdaptersInTheSystemsOrder) {
    const ListCase& c = GetParam();
    const QList<SerialPortRecord> ports(c.ports.begin(), c.ports.end());
    const SystemAdapters found{c.system, usbAdapters(ports, c.system)};
    const PortDevice com1 = choosePortDevice(1, QString(), found);
    EXPECT_EQ(com1.path.toStdString(), c.com1);
    EXPECT_EQ(com1.noAdapterFound, c.noAdapter);
    EXPECT_EQ(choosePortDevice(2, QString(), found).path.toStdString(), c.com2);
}

SerialPortRecord com(int number, const char* description, const char* serialNumber = "") {
    const QString name = QStringLiteral("COM%1").arg(number);
    return {name, QStringLiteral("\\\\.\\") + name, QString::fromUtf8(description),
            QString::fromUtf8(serialNumber)};
}

const SerialPortRecord builtIn = com(1, "Communications Port");
const SerialPortRecord management = com(3, "Intel(R) Active Management Technology - SOL");
const SerialPortRecord pciCard = com(5, "PCI Express Serial Port");
const SerialPortRecord usb4 = com(4, "USB Serial Port", "A10K1234");
const SerialPortRecord usb9 = com(9, "USB-SERIAL CH340");
const SerialPortRecord usb10 = com(10, "USB Serial Device");
const SerialPortRecord ownDriver7 = com(7, "Example Board", "7E21C0");
const SerialPortRecord bluetooth6 = com(6, "Standard Serial over Bluetooth link", "5CF3707B3BE1");
constexpr auto windows = PortSystem::Windows;

INSTANTIATE_TEST_SUITE_P(
    Windows, ListChoice,
    ::testing::Values(
        ListCase{"NoPorts", windows, {}, "COM1", true, "COM2"},
        ListCase{"BuiltInIsNoAdapter", windows, {builtIn}, "COM1", true, "COM2"},
        ListCase{"AdapterOnCom4", windows, {builtIn, usb4}, "COM4", false, "COM2"},
        ListCase{"PciIsNoAdapter", windows, {management, pciCard, usb9}, "COM9", false, "COM2"},
        ListCase{"PortNumberOrder", windows, {usb10, builtIn, usb9}, "COM9", false, "COM10"},
        ListCase{"SerialNumberSaysUsb", windows, {builtIn, ownDriver7}, "COM7", false, "COM2"},
        ListCase{"BluetoothIsNoAdapter", windows, {bluetooth6, usb10}, "COM10", false, "COM2"}),
    [](const auto& info) { return std::string(info.param.name); });

SerialPortRecord dev(const char* name) {
    return {QString::fromUtf8(name), QStringLiteral("/dev/") + QString::fromUtf8(name), {}, {}};
}

const SerialPortRecord serialCu = dev("cu.usbserial-A1");
const SerialPortRecord serialTty = dev("tty.usbserial-A1");
const SerialPortRecord modemCu = dev("cu.usbmodem1");
const SerialPortRecord modemTty = dev("tty.usbmodem1");
const SerialPortRecord bluetoothCu = dev("cu.Bluetooth-Incoming-Port");
constexpr auto mac = PortSystem::MacOs;

INSTANTIATE_TEST_SUITE_P(
    MacOs, ListChoice,
    ::testing::Values(
        ListCase{"NoAdapter", mac, {bluetoothCu}, "/dev/ttyS0", true, "/dev/ttyS1"},
        ListCase{
            "CallOutOnly", mac, {serialTty, serialCu}, "/dev/cu.usbserial-A1", false, "/dev/ttyS1"},
        ListCase{"NameOrder",
                 mac,
                 {serialCu, modemTty, modemCu, serialTty},
                 "/dev/cu.usbmodem1",
                 false,
                 "/dev/cu.usbserial-A1"}),
    [](const auto& info) { return std::string(info.param.name); });

// Advice on a missing adapter only when none was found; the promise to connect once the board
// is plugged in exactly where the panel waits for it: a missing device and a lost one.
TEST(LinkErrorMessage, AdvisesAndPromisesOnlyWhereItHelps) {
    using Kind = LinkError::Kind;
    struct Row {
        LinkError error;
        const char* text;
    };
    const Row rows[] = {
        {{Kind::NotFound, 1, "/dev/ttyS0", "gone", true},
         "COM1 (/dev/ttyS0) cannot be opened: the device does not exist (gone). No USB serial "
         "adapter was found: plug in the board's adapter, or name the board's device in the "
         "environment variable TOLVANE_COM1, e.g. TOLVANE_COM1=/dev/ttyUSB0. The panel will "
         "connect to the board as soon as it is plugged in."},
        {{Kind::NotFound, 1, "/dev/ttyUSB3", "gone"},
         "COM1 (/dev/ttyUSB3) cannot be opened: the device does not exist (gone). The panel will "
         "connect to the board as soon as it is plugged in."},
        {{Kind::Busy, 2, "/dev/ttyUSB3", "locked"},
         "COM2 (/dev/ttyUSB3) cannot be opened: the device is busy or locked by another program "
         "(locked)."},
        {{Kind::Lost, 1, "/dev/ttyUSB3", "the device was removed"},
         "The link on COM1 (/dev/ttyUSB3) was lost: the device was removed. The panel will "
         "connect to the board again as soon as it is plugged in."},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(describeLinkError(row.error, PortSystem::Linux).toStdString(), row.text);
    }
}

// Windows' error texts end with a full stop of their own; where ours follows, one is enough.
TEST(LinkErrorMessage, EndsTheSystemsWordsWithOneFullStop) {
    using Kind = LinkError::Kind;
    struct Row {
        const char* what;
        LinkError error;
        const char* text;
    };
    const Row rows[] = {
        {"lost, the reason's own full stop",
         {Kind::Lost, 1, "COM1", "Request not supported."},
         "The link on COM1 (COM1) was lost: Request not supported. The panel will connect to the "
         "board again as soon as it is plugged in."},
        {"lost, no full stop of its own",
         {Kind::Lost, 2, "COM4", "The device does not recognize the command"},
         "The link on COM2 (COM4) was lost: The device does not recognize the command. The panel "
         "will connect to the board again as soon as it is plugged in."},
        {"cannot be opened, the reason's own full stop",
         {Kind::OpenFailed, 1, "COM3", "The parameter is incorrect."},
         "COM1 (COM3) cannot be opened: The parameter is incorrect."},
        {"cannot be opened, no full stop of its own",
         {Kind::OpenFailed, 2, "COM5", "Invalid argument"},
         "COM2 (COM5) cannot be opened: Invalid argument."},
        {"in parentheses, kept as the system wrote it",
         {Kind::Busy, 1, "COM3", "Access is denied."},
         "COM1 (COM3) cannot be opened: the device is busy or locked by another program (Access is "
         "denied.)."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(describeLinkError(row.error, PortSystem::Windows).toStdString(), row.text);
    }
}

}  // namespace
}  // namespace tolvane
