# A Debian package whose dependencies are read off the binaries: Debian's own Qt packages.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR ${TOLVANE_VENDOR})
set(CPACK_PACKAGE_CONTACT "${TOLVANE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${TOLVANE_SUMMARY})
# Lines of at most 80 characters; a blank line starts a new paragraph.
set(CPACK_PACKAGE_DESCRIPTION [=[
Tolvane drives an eight-channel hobby servo board, such as the one that moves
a small robot arm, over a serial port. Its window has a slider for each servo,
and every movement goes to the board at once. The eight positions can be saved
as the steps of a sequence and played back, each step held for a chosen time;
playback waits for the board to echo each command before going on.

The package also holds tolvane-board, a simulated board on a pseudo-terminal
that prints each command it receives and answers like the real board, for
trying the panel without hardware.
]=])
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TOLVANE_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
