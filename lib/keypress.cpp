#include "keypress.h"

#if defined(_WIN32)
#include <conio.h>

void wait_for_key() { (void)_getch(); }

#else
#include <cerrno>

#include <termios.h>
#include <unistd.h>

void wait_for_key() {
  if (!isatty(STDIN_FILENO)) return;
  termios saved{};
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
  termios raw = saved;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  unsigned char key = 0;
  ssize_t got = 0;
  do {
    got = read(STDIN_FILENO, &key, 1);
  } while (got < 0 && errno == EINTR);
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}
#endif
