// Probe of the lazy Winsock binding: Winsock is absent until the first stub call and present
// after it, and the stubs reach the real functions. Exit code 0, or the number of the failed check.
#include <windows.h>
#include "image/winsock.h"

int main() {
  if (GetModuleHandleA("ws2_32.dll") || image::winsock_module()) return 10;
  if (image::ws_htons(0x1234) != 0x3412) return 11;   // the first call loads and binds
  if (!GetModuleHandleA("ws2_32.dll") || !image::winsock_module()) return 12;
  if (image::ws_htonl(0x01020304) != 0x04030201) return 13;
  WSADATA data;
  if (image::ws_WSAStartup(MAKEWORD(2, 2), &data) != 0) return 14;
  SOCKET s = image::ws_socket(AF_INET, SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) return 15;
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = image::ws_inet_addr("127.0.0.1");
  if (image::ws_bind(s, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) return 16;
  if (image::ws_closesocket(s) != 0) return 17;
  if (image::ws_WSACleanup() != 0) return 18;
  image::release_winsock();
  if (image::winsock_module()) return 19;
  return 0;
}
