// Which system's rules apply. Port names, the list of adapters and the meaning of a port's
// errors differ between systems; the functions that follow them take the system as an argument,
// so that each system's rules can be tested on any.
#pragma once

namespace tolvane {

enum class PortSystem { Linux, MacOs, Windows, Other };

// The system this build is for, named by the build (src/ports/CMakeLists.txt) as it picks each
// system's files.
inline constexpr PortSystem kThisSystem = PortSystem::TOLVANE_PORT_SYSTEM;

}  // namespace tolvane
