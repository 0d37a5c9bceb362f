// The kernel tests' UDP sender, built under the name "Discord": sends count datagrams (0: until
// stopped) of size bytes to address:port, one every intervalMs, and drains the echoes.
// Usage: Discord address port count intervalMs size
#include <arpa/inet.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  sockaddr_in to{AF_INET, htons(static_cast<uint16_t>(argc == 6 ? std::atoi(argv[2]) : 0)), {}, {}};
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  if (argc != 6 || inet_pton(AF_INET, argv[1], &to.sin_addr) != 1 ||
      connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    return 2;
  }
  const std::vector<char> payload(static_cast<size_t>(std::atoi(argv[5])), 'v');
  char echo[2048];
  for (long i = 0, count = std::atol(argv[3]); count == 0 || i < count; ++i) {
    send(s, payload.data(), payload.size(), 0);
    while (recv(s, echo, sizeof echo, MSG_DONTWAIT) > 0) {
    }
    usleep(static_cast<useconds_t>(std::atoi(argv[4])) * 1000);
  }
}
