// Lets test failures show strings, commands and table rows as text instead of their bytes.
#pragma once

#include <QString>
#include <QStringList>
#include <ostream>

#include "protocol/servo_protocol.h"

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '{';
    for (qsizetype i = 0; i < list.size(); ++i) {
        *os << (i == 0 ? "" : ", ");
        PrintTo(list[i], os);
    }
    *os << '}';
}

namespace tolvane {

inline void PrintTo(const PositionCommand& command, std::ostream* os) {
    *os << "(channel " << int(command.channel) << ", position " << int(command.position) << ')';
}

}  // namespace tolvane

namespace tolvane::test_support {

// A row of a test table prints as its name. Rows are found by argument-dependent lookup, so a
// test file brings this in with `using test_support::PrintTo;` inside the rows' namespace.
template <typename Row>
requires requires(const Row& row) {
    row.name;
}
void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

}  // namespace tolvane::test_support
