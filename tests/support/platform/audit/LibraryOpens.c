/* An audit module of the dynamic loader (LD_AUDIT): appends "<process id> <thread id> <path>" to
 * the file named by PARLENDO_TEST_LIBRARY_OPENS_FILE for every library the process (and any
 * process it starts) loads, in the thread that loads it, so that a test can tell which thread
 * opened what. A process's main thread has the process's id. It runs beside the loader, before
 * the process's own libraries are set up: it uses only the C library. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <link.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

unsigned int la_version(unsigned int version) {
    return version < LAV_CURRENT ? version : LAV_CURRENT;
}

unsigned int la_objopen(struct link_map* map, Lmid_t lmid, uintptr_t* cookie) {
    (void)lmid;
    (void)cookie;
    const char* file = getenv("PARLENDO_TEST_LIBRARY_OPENS_FILE");
    if (file == NULL || map->l_name == NULL || map->l_name[0] == '\0') {
        return 0;
    }
    char line[4096];
    const int length = snprintf(line, sizeof line, "%ld %ld %s\n", (long)getpid(),
                                (long)syscall(SYS_gettid), map->l_name);
    const int out = open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (out >= 0 && length > 0 && (size_t)length < sizeof line) {
        (void)!write(out, line, (size_t)length);
    }
    if (out >= 0) {
        close(out);
    }
    return 0;
}
