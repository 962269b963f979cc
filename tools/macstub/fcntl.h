#pragma once
// The system's <fcntl.h> plus the stand-in declarations of macOS's
// preallocation command. Values follow <sys/fcntl.h>.
#include_next <fcntl.h>
#include <sys/types.h>

#define F_PREALLOCATE 42
#define F_ALLOCATECONTIG 0x00000002
#define F_ALLOCATEALL 0x00000004
#define F_PEOFPOSMODE 3
#define F_VOLPOSMODE 4

typedef struct fstore
{
    unsigned int fst_flags;
    int fst_posmode;
    off_t fst_offset;
    off_t fst_length;
    off_t fst_bytesalloc;
} fstore_t;
