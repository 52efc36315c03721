// Which errors of an open port close the link as a lost device, on Unix and on Windows.
#include <gtest/gtest.h>

#include "link/port_errors.h"
#include "test_printers.h"

namespace tolvane {
namespace {

using test_support::PrintTo;

struct ErrorCase {
    const char* name;
    QSerialPort::SerialPortError error;
    bool goneOnUnix;
    bool goneOnWindows;
};

class DeviceGone : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(DeviceGone, ByTheSystemsRule) {
    const ErrorCase& c = GetParam();
    EXPECT_EQ(meansDeviceGone(c.error, PortSystem::Linux), c.goneOnUnix);
    EXPECT_EQ(meansDeviceGone(c.error, PortSystem::MacOs), c.goneOnUnix);
    EXPECT_EQ(meansDeviceGone(c.error, PortSystem::Windows), c.goneOnWindows);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeviceGone,
    ::testing::Values(ErrorCase{"NoError", QSerialPort::NoError, false, false},
                      ErrorCase{"Timeout", QSerialPort::TimeoutError, false, false},
                      ErrorCase{"Unsupported", QSerialPort::UnsupportedOperationError, false,
                                false},
                      ErrorCase{"Resource", QSerialPort::ResourceError, true, true},
                      ErrorCase{"Write", QSerialPort::WriteError, true, true},
                      ErrorCase{"Read", QSerialPort::ReadError, true, true},
                      ErrorCase{"Unknown", QSerialPort::UnknownError, true, true},
                      ErrorCase{"DeviceNotFound", QSerialPort::DeviceNotFoundError, false, true},
                      ErrorCase{"Permission", QSerialPort::PermissionError, false, true},
                      ErrorCase{"Open", QSerialPort::OpenError, false, true},
                      ErrorCase{"NotOpen", QSerialPort::NotOpenError, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tolvane
