/* Preloaded into every 32-bit Wine process that scripts/run-i686.sh runs under
 * qemu-i386. Wine reserves its address ranges with MAP_FIXED_NOREPLACE, which
 * qemu-i386 7.2 treats as a mere hint: a reservation lands elsewhere, Wine
 * then tries tens of thousands of ever smaller blocks (minutes per process)
 * and at last cannot place its shared user data page. Here the flag means
 * what the kernel makes of it: the requested address, or EEXIST.
 * Freestanding i386 code, linked against the i386 libc only. */
typedef unsigned int size_t;
typedef long long off64_t;

#define MAP_FIXED_NOREPLACE 0x100000
#define MAP_FAILED ((void*)-1)
#define EEXIST 17
#define RTLD_NEXT ((void*)-1l)

void* dlsym(void* module, const char* name);
int* __errno_location(void);
int munmap(void* address, size_t length);

typedef void* (*Map64)(void*, size_t, int, int, int, off64_t);

void* mmap64(void* address, size_t length, int protection, int flags, int fd, off64_t offset) {
  static Map64 next;
  if (!next) next = (Map64)dlsym(RTLD_NEXT, "mmap64");
  if (!(flags & MAP_FIXED_NOREPLACE)) return next(address, length, protection, flags, fd, offset);
  void* mapped = next(address, length, protection, flags & ~MAP_FIXED_NOREPLACE, fd, offset);
  if (mapped != MAP_FAILED && mapped != address) {
    munmap(mapped, length);
    *__errno_location() = EEXIST;
    return MAP_FAILED;
  }
  return mapped;
}

void* mmap(void* address, size_t length, int protection, int flags, int fd, long offset) {
  return mmap64(address, length, protection, flags, fd, (unsigned long)offset);
}
