// Preloaded into a program, this makes poll() answer as it does on macOS and
// some BSDs, where it cannot wait on devices: a character device in the set
// is reported as POLLNVAL at once, whatever the wait asked for. The master
// side of a pseudo-terminal is left alone, because the tests poll it
// themselves to see what the program writes.

#include <dlfcn.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

bool is_device_under_test(int fd)
{
    struct stat status;
    return fd >= 0 && fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) &&
           status.st_rdev != makedev(5, 2); // /dev/ptmx, the master side
}

} // namespace

extern "C" int poll(struct pollfd *fds, nfds_t count, int timeout)
{
    int devices = 0;
    for (nfds_t i = 0; i < count; ++i) {
        fds[i].revents = 0;
        if (is_device_under_test(fds[i].fd)) {
            fds[i].revents = POLLNVAL;
            ++devices;
        }
    }
    if (devices > 0)
        return devices;
    using poll_function = int (*)(struct pollfd *, nfds_t, int);
    static const auto real_poll = reinterpret_cast<poll_function>(dlsym(RTLD_NEXT, "poll"));
    return real_poll(fds, count, timeout);
}
