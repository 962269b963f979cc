#pragma once
// Stand-in declarations of libproc as the macOS SDK declares them, so
// Mac-only code is compiled here. Values follow <libproc.h> and <sys/proc_info.h>.
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PROC_PIDPATHINFO_MAXSIZE (4 * 1024)

int proc_listallpids(void *buffer, int buffersize);
int proc_pidpath(int pid, void *buffer, uint32_t buffersize);

#ifdef __cplusplus
}
#endif
