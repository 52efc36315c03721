/* Lends pseudo-terminals the modem lines of a serial port, for the panel under Wine.
 *
 * Wine's serial wait (WaitCommEvent) reads the modem lines of the device each time it looks
 * for events, and ends the wait as failed (ERROR_OPERATION_ABORTED) when the device has none, as
 * a pseudo-terminal has none; a real adapter has them, and real Windows asks for none of this.
 * Preloaded (LD_PRELOAD) into every process of the project's Wine (tools/windows/wine.sh), which
 * runs the tests and the scenarios; only the scenarios open ports. A request for the modem lines
 * that a pseudo-terminal refuses is answered from lines kept here (DTR, RTS, CTS, DSR and carrier
 * up at first). Every other request, and every other device, goes through untouched. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

static int lines = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;

/* The slave sides of Unix 98 pseudo-terminals have majors 136 to 143. */
static int is_pseudo_terminal(int fd) {
    struct stat status;
    return fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) && major(status.st_rdev) >= 136 &&
           major(status.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...) {
    static int (*real_ioctl)(int, unsigned long, ...);
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (!real_ioctl) {
        /* ISO C has no cast from an object pointer to a function pointer; POSIX makes the bytes
         * of dlsym's result the function's address. */
        void* symbol = dlsym(RTLD_NEXT, "ioctl");
        memcpy(&real_ioctl, &symbol, sizeof symbol);
    }
    const int result = real_ioctl(fd, request, argument);
    const int error = errno;
    if (result == 0 || (error != ENOTTY && error != EINVAL) || !is_pseudo_terminal(fd)) {
        errno = error;
        return result;
    }
    switch (request) {
        case TIOCMGET:
            *(int*)argument = lines;
            return 0;
        case TIOCMSET:
            lines = *(const int*)argument;
            return 0;
        case TIOCMBIS:
            lines |= *(const int*)argument;
            return 0;
        case TIOCMBIC:
            lines &= ~*(const int*)argument;
            return 0;
        default:
            errno = error;
            return result;
    }
}
