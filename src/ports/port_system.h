// Which system's rules apply. Port names, the list of adapters and the meaning of a port's
// errors differ between systems; the functions that follow them take the system as an argument,
// so that each system's rules can be tested on any.
#pragma once

#include <QtGlobal>

namespace tolvane {

enum class PortSystem { Linux, MacOs, Windows, Other };

#if defined(Q_OS_WIN)
inline constexpr PortSystem kThisSystem = PortSystem::Windows;
#elif defined(Q_OS_MACOS)
inline constexpr PortSystem kThisSystem = PortSystem::MacOs;
#elif defined(Q_OS_LINUX)
inline constexpr PortSystem kThisSystem = PortSystem::Linux;
#else
inline constexpr PortSystem kThisSystem = PortSystem::Other;
#endif

}  // namespace tolvane
