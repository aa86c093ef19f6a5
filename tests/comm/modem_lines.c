/* Preloaded into the Wine process of the serial port test (serial_run.sh with the shim): makes
   a pseudo-terminal look like a serial line with modem lines. A TIOCMGET the terminal refuses
   is answered with the bits written in the file ORVEL_MODEM_LINES names, so that the test can
   switch CTS, DSR and carrier. Built 32-bit without the C library's start files (-nostdlib):
   the functions it calls are found in the process at load time. 32-bit glibc may route ioctl
   to __ioctl_time64, so both are wrapped. */
extern void* dlsym(void*, const char*);
extern int open(const char*, int, ...);
extern int read(int, void*, unsigned);
extern int close(int);
extern char* getenv(const char*);
#define RTLD_NEXT ((void*)-1l)
#define TIOCMGET 0x5415

/* The lines: CTS, carrier and DSR on until the file says otherwise; a file caught empty or
   half written keeps the last value read. */
static int modem_lines(void) {
  static int last = 0x20 | 0x40 | 0x100;
  const char* path = getenv("ORVEL_MODEM_LINES");
  char text[16];
  int fd, n, i, v = 0;
  if (!path || (fd = open(path, 0)) < 0) return last;
  n = read(fd, text, sizeof text);
  close(fd);
  for (i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i) v = v * 10 + (text[i] - '0');
  if (i > 0 && i < n && text[i] == '\n') last = v;
  return last;
}

static int answer(int r, unsigned long request, void* arg) {
  if (r == -1 && request == TIOCMGET && arg) {
    *(int*)arg = modem_lines();
    return 0;
  }
  return r;
}

int ioctl(int fd, unsigned long request, void* arg) {
  static int (*real)(int, unsigned long, void*);
  if (!real) real = (int (*)(int, unsigned long, void*))dlsym(RTLD_NEXT, "ioctl");
  return answer(real(fd, request, arg), request, arg);
}

int __ioctl_time64(int fd, unsigned long request, void* arg) {
  static int (*real)(int, unsigned long, void*);
  if (!real) real = (int (*)(int, unsigned long, void*))dlsym(RTLD_NEXT, "__ioctl_time64");
  if (!real) return ioctl(fd, request, arg);
  return answer(real(fd, request, arg), request, arg);
}
